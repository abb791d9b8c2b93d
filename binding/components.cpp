#include "binding/components.h"

#include <cctype>
#include <map>

#include "binding/error.h"

namespace binding {
namespace {

// The description reads like this:
//   object Produto: TIBTable
//     TableName = 'PRODUTO'
//     Params.Strings = (
//       'user_name=SYSDBA')
//     object ProdutoCODIGO: TIntegerField
//       Required = True
//     end
//   end
struct Value {
    enum class Kind { Text, Number, Name, Set, List } kind = Kind::Name;
    std::string text;
    std::vector<std::string> items;
};

struct Object {
    std::string name;
    std::string className;
    std::vector<std::pair<std::string, Value>> properties;
    std::vector<Object> children;
    int line = 0;
};

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::vector<Object> parseAll() {
        std::vector<Object> objects;
        skipSpace();
        while (position_ < text_.size()) {
            objects.push_back(parseObject());
            skipSpace();
        }
        return objects;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw Error("Component description, line " + std::to_string(line_) + ": " + what);
    }

    void skipSpace() {
        while (position_ < text_.size()) {
            const char c = text_[position_];
            if (c == '\n') ++line_;
            if (c == '/' && position_ + 1 < text_.size() && text_[position_ + 1] == '/') {
                while (position_ < text_.size() && text_[position_] != '\n') ++position_;
                continue;
            }
            if (!std::isspace(static_cast<unsigned char>(c))) return;
            ++position_;
        }
    }

    std::string word() {
        skipSpace();
        const std::size_t start = position_;
        while (position_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[position_])) ||
                text_[position_] == '_' || text_[position_] == '.' || text_[position_] == '-'))
            ++position_;
        if (start == position_) fail("a name is expected");
        return std::string(text_.substr(start, position_ - start));
    }

    void expect(char c) {
        skipSpace();
        if (position_ >= text_.size() || text_[position_] != c)
            fail(std::string("'") + c + "' is expected");
        ++position_;
    }

    bool peek(char c) {
        skipSpace();
        return position_ < text_.size() && text_[position_] == c;
    }

    std::string quoted() {
        expect('\'');
        std::string text;
        while (true) {
            if (position_ >= text_.size() || text_[position_] == '\n') fail("unterminated text");
            const char c = text_[position_++];
            if (c == '\'') {
                if (position_ < text_.size() && text_[position_] == '\'') {
                    text += '\'';
                    ++position_;
                    continue;
                }
                return text;
            }
            text += c;
        }
    }

    Value value() {
        Value result;
        if (peek('\'')) {
            result.kind = Value::Kind::Text;
            result.text = quoted();
        } else if (peek('(')) {
            expect('(');
            result.kind = Value::Kind::List;
            while (!peek(')')) result.items.push_back(quoted());
            expect(')');
        } else if (peek('[')) {
            expect('[');
            result.kind = Value::Kind::Set;
            while (!peek(']')) {
                result.items.push_back(word());
                if (peek(',')) expect(',');
            }
            expect(']');
        } else {
            result.text = word();
            const char first = result.text[0];
            result.kind = (std::isdigit(static_cast<unsigned char>(first)) || first == '-')
                              ? Value::Kind::Number
                              : Value::Kind::Name;
        }
        return result;
    }

    Object parseObject() {
        Object object;
        object.line = line_;
        if (word() != "object") fail("'object' is expected");
        object.name = word();
        expect(':');
        object.className = word();
        while (true) {
            const std::string key = word();
            if (key == "end") return object;
            if (key == "object") {
                position_ -= key.size();
                object.children.push_back(parseObject());
                continue;
            }
            expect('=');
            object.properties.emplace_back(key, value());
        }
    }

    std::string_view text_;
    std::size_t position_ = 0;
    int line_ = 1;
};

// Reads the properties of one object, refusing any it does not know, so that a slip in
// the description shows at start-up instead of as a silently different setting.
class Properties {
  public:
    explicit Properties(const Object& object) : object_(object) {
        for (const auto& [key, value] : object.properties) values_[key] = &value;
    }

    const Value* take(const std::string& key) {
        auto found = values_.find(key);
        if (found == values_.end()) return nullptr;
        const Value* value = found->second;
        values_.erase(found);
        return value;
    }

    std::string text(const std::string& key, const std::string& otherwise = {}) {
        const Value* value = take(key);
        if (value == nullptr) return otherwise;
        if (value->kind != Value::Kind::Text && value->kind != Value::Kind::Name) fail(key);
        return value->text;
    }

    int number(const std::string& key, int otherwise) {
        const Value* value = take(key);
        if (value == nullptr) return otherwise;
        if (value->kind != Value::Kind::Number) fail(key);
        return std::stoi(value->text);
    }

    bool flag(const std::string& key, bool otherwise) {
        const Value* value = take(key);
        if (value == nullptr) return otherwise;
        if (value->text == "True") return true;
        if (value->text == "False") return false;
        fail(key);
    }

    std::vector<std::string> list(const std::string& key) {
        const Value* value = take(key);
        if (value == nullptr) return {};
        if (value->kind != Value::Kind::List && value->kind != Value::Kind::Set) fail(key);
        return value->items;
    }

    // Requires a setting to have the one value this program supports.
    void require(const std::string& key, const std::string& expected) {
        const Value* value = take(key);
        if (value == nullptr) return;
        const std::string actual = value->kind == Value::Kind::Set ? "[]" : value->text;
        if (actual != expected) fail(key);
    }

    void finish() const {
        if (!values_.empty()) fail(values_.begin()->first);
    }

    [[noreturn]] void fail(const std::string& key) const {
        throw Error("Component description, line " + std::to_string(object_.line) + ": " +
                    object_.name + "." + key + " is not supported");
    }

  private:
    const Object& object_;
    std::map<std::string, const Value*> values_;
};

std::vector<std::string> splitNames(const std::string& text) {
    std::vector<std::string> names;
    std::string current;
    for (char c : text) {
        if (c == ';') {
            if (!current.empty()) names.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) names.push_back(current);
    return names;
}

template <typename T>
T* findNamed(const std::vector<std::unique_ptr<T>>& list, const std::string& name) {
    for (const auto& item : list)
        if (item->componentName() == name) return item.get();
    return nullptr;
}

}  // namespace

std::unique_ptr<Components> Components::create(std::string_view description,
                                               std::shared_ptr<const ClientApi> api) {
    const std::vector<Object> objects = Parser(description).parseAll();
    std::unique_ptr<Components> components(new Components());
    auto missing = [](const Object& object, const std::string& what) {
        return Error("Component description, line " + std::to_string(object.line) + ": " +
                     object.name + " needs " + what);
    };

    for (const Object& object : objects) {
        if (object.className != "TIBDatabase") continue;
        Properties properties(object);
        if (!api) api = loadClientLibrary(defaultClientLibraryName());
        auto database = std::make_unique<Database>(object.name, api);
        database->setDatabaseName(properties.text("DatabaseName"));
        database->setParams(properties.list("Params.Strings"));
        properties.require("LoginPrompt", "False");
        properties.require("IdleTimer", "0");
        properties.require("TraceFlags", "[]");
        database->setSqlDialect(properties.number("SQLDialect", 3));
        properties.text("DefaultTransaction");  // checked once the transactions exist
        properties.finish();
        components->databases_.push_back(std::move(database));
    }
    for (const Object& object : objects) {
        if (object.className != "TIBTransaction") continue;
        Properties properties(object);
        Database* database = findNamed(components->databases_, properties.text("DefaultDatabase"));
        if (database == nullptr) throw missing(object, "a DefaultDatabase");
        if (!properties.list("Params.Strings").empty()) properties.fail("Params.Strings");
        properties.require("AutoStopAction", "saNone");
        properties.require("IdleTimer", "0");
        properties.require("DefaultAction", "TACommit");
        properties.finish();
        components->transactions_.push_back(std::make_unique<Transaction>(object.name, *database));
    }
    for (const Object& object : objects) {
        if (object.className != "TIBDatabase") continue;
        for (const auto& [key, value] : object.properties)
            if (key == "DefaultTransaction" && !value.text.empty() &&
                findNamed(components->transactions_, value.text) == nullptr)
                throw missing(object, "an existing DefaultTransaction");
    }

    std::vector<std::pair<Table*, const Object*>> linked;
    for (const Object& object : objects) {
        if (object.className != "TIBTable") continue;
        Properties properties(object);
        Database* database = findNamed(components->databases_, properties.text("Database"));
        Transaction* transaction =
            findNamed(components->transactions_, properties.text("Transaction"));
        if (database == nullptr) throw missing(object, "a Database");
        if (transaction == nullptr) throw missing(object, "a Transaction");
        auto table = std::make_unique<Table>(object.name, *database, *transaction);
        table->setTableName(properties.text("TableName"));
        properties.require("CachedUpdates", "False");
        properties.number("BufferChunks", 1000);  // the row buffer grows as it needs
        table->setIndexFieldNames(splitNames(properties.text("IndexFieldNames")));
        properties.text("MasterSource");  // linked once the data sources exist
        properties.text("MasterFields");
        properties.finish();
        for (const Object& child : object.children) {
            Properties field(child);
            const std::string fieldName = field.text("FieldName");
            if (fieldName.empty()) throw missing(child, "a FieldName");
            const bool required = field.flag("Required", false);
            FieldKind kind;
            int size = 0;
            if (child.className == "TIntegerField") {
                kind = FieldKind::Integer;
            } else if (child.className == "TIBBCDField") {
                kind = FieldKind::Fixed;
                field.number("Precision", 18);
                size = field.number("Size", 4);
            } else if (child.className == "TIBStringField") {
                kind = FieldKind::String;
                size = field.number("Size", 20);
            } else if (child.className == "TDateField") {
                kind = FieldKind::Date;
            } else if (child.className == "TTimeField") {
                kind = FieldKind::Time;
            } else {
                throw Error("Component description, line " + std::to_string(child.line) +
                            ": class " + child.className + " is not supported");
            }
            field.finish();
            table->addField(std::make_unique<Field>(child.name, fieldName, kind, size, required));
        }
        linked.emplace_back(table.get(), &object);
        components->tables_.push_back(std::move(table));
    }
    for (const Object& object : objects) {
        if (object.className != "TDataSource") continue;
        Properties properties(object);
        Table* dataSet = findNamed(components->tables_, properties.text("DataSet"));
        if (dataSet == nullptr) throw missing(object, "a DataSet");
        properties.finish();
        components->dataSources_.push_back(std::make_unique<DataSource>(object.name, dataSet));
    }
    for (const auto& [table, object] : linked) {
        std::string sourceName, masterFields;
        for (const auto& [key, value] : object->properties) {
            if (key == "MasterSource") sourceName = value.text;
            if (key == "MasterFields") masterFields = value.text;
        }
        if (sourceName.empty()) continue;
        DataSource* source = findNamed(components->dataSources_, sourceName);
        if (source == nullptr) throw missing(*object, "an existing MasterSource");
        table->setMaster(source, splitNames(masterFields));
    }
    for (const Object& object : objects) {
        const std::string& kind = object.className;
        if (kind != "TIBDatabase" && kind != "TIBTransaction" && kind != "TIBTable" &&
            kind != "TDataSource")
            throw Error("Component description, line " + std::to_string(object.line) + ": class " +
                        kind + " is not supported");
    }
    return components;
}

Components::~Components() {
    dataSources_.clear();
    while (!tables_.empty()) tables_.pop_back();
    while (!transactions_.empty()) transactions_.pop_back();
    while (!databases_.empty()) databases_.pop_back();
}

namespace {

template <typename T>
T& existing(const std::vector<std::unique_ptr<T>>& list, const std::string& name) {
    if (T* found = findNamed(list, name)) return *found;
    throw Error("Component " + name + " not found");
}

}  // namespace

Database& Components::database(const std::string& name) const { return existing(databases_, name); }

Transaction& Components::transaction(const std::string& name) const {
    return existing(transactions_, name);
}

Table& Components::table(const std::string& name) const { return existing(tables_, name); }

DataSource& Components::dataSource(const std::string& name) const {
    return existing(dataSources_, name);
}

Field& Components::field(const std::string& name) const {
    for (const auto& table : tables_)
        for (Field* field : table->fields())
            if (field->name() == name) return *field;
    throw Error("Component " + name + " not found");
}

}  // namespace binding
