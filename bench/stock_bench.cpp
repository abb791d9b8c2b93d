// stock-bench: times the stock rebuild pass against two floors on copies of one sample
// database and prints a table per forced-writes setting.
//
// Every piece of database work runs in a child process of its own, started afresh from this
// executable: the embedded engine keeps threads and caches that a fork would not carry over
// cleanly, and a fresh process makes the peak resident memory each child reports its own.
// The parent never touches the database; it only copies files and compares results.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/contenders.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    int products = 10000;
    std::vector<bool> forcedWrites = {true, false};
    unsigned seed = 1;
    std::string folder;  // empty: a new temporary folder, removed at the end
    bool keep = false;
    bool profile = false;
};

[[noreturn]] void usage(const char* problem) {
    std::fprintf(stderr,
                 "stock-bench: %s\n"
                 "usage: stock-bench [--products N] [--forced-writes on|off|both] [--seed S]\n"
                 "                   [--dir FOLDER] [--keep] [--profile]\n",
                 problem);
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(("missing value after " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--products") {
            options.products = std::atoi(value().c_str());
            if (options.products < 1) usage("--products wants a positive number");
        } else if (arg == "--forced-writes") {
            const std::string setting = value();
            if (setting == "on") {
                options.forcedWrites = {true};
            } else if (setting == "off") {
                options.forcedWrites = {false};
            } else if (setting == "both") {
                options.forcedWrites = {true, false};
            } else {
                usage("--forced-writes wants on, off or both");
            }
        } else if (arg == "--seed") {
            options.seed = static_cast<unsigned>(std::strtoul(value().c_str(), nullptr, 10));
        } else if (arg == "--dir") {
            options.folder = value();
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--profile") {
            options.profile = true;
        } else {
            usage(("unknown argument " + arg).c_str());
        }
    }
    return options;
}

// ---- Child processes --------------------------------------------------------------------

long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// The child side: one role, its arguments, and for the timed roles a file that receives
// the seconds and the peak resident memory.
int childMain(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const std::string& role = args.at(0);
    try {
        const auto start = std::chrono::steady_clock::now();
        std::string result;
        if (role == "sample") {
            bench::makeSample(args.at(1), std::stoi(args.at(2)),
                              static_cast<unsigned>(std::stoul(args.at(3))));
        } else if (role == "empty") {
            bench::makeEmpty(args.at(1));
        } else if (role == "forced-writes") {
            bench::setForcedWrites(args.at(1), args.at(2) == "on");
        } else if (role == "state") {
            bench::writeState(args.at(1), args.at(2));
        } else if (role == "profile") {
            bench::profilePass(args.at(1));
        } else if (role == "pass") {
            bench::runPass(args.at(1));
            result = args.at(2);
        } else if (role == "per-product") {
            bench::runPerProductFloor(args.at(1));
            result = args.at(2);
        } else if (role == "set-based") {
            bench::runSetBasedFloor(args.at(1));
            result = args.at(2);
        } else {
            throw std::runtime_error("unknown role");
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!result.empty()) {
            std::ofstream out(result);
            out << seconds << ' ' << peakResidentKiB() << '\n';
            if (!out) throw std::runtime_error("cannot write " + result);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "stock-bench: %s: %s\n", role.c_str(), error.what());
        return 1;
    }
}

std::string self;

void runChild(const std::vector<std::string>& args) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        std::vector<char*> argv;
        std::string child = "--child";
        argv.push_back(self.data());
        argv.push_back(child.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(self.c_str(), argv.data());
        std::perror("stock-bench: exec");
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) throw std::runtime_error("waitpid failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("child '" + args.at(0) + "' failed");
}

struct Measure {
    double seconds = 0;
    double peakMiB = 0;
};

Measure timedChild(const std::string& role, const std::string& target, const fs::path& result) {
    runChild({role, target, result.string()});
    std::ifstream in(result);
    double seconds = 0;
    long kib = 0;
    if (!(in >> seconds >> kib)) throw std::runtime_error("no result from '" + role + "'");
    return {seconds, static_cast<double>(kib) / 1024.0};
}

// ---- Files ----------------------------------------------------------------------------

// A plain copy, flushed to the disk before the clock starts: otherwise the first
// synchronous write of a contender would pay for writing out the whole copy.
void copyFlushed(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    const int fd = open(to.c_str(), O_RDWR);
    if (fd < 0 || fsync(fd) != 0) throw std::runtime_error("cannot flush " + to.string());
    close(fd);
}

// The first line where two result dumps differ, or nothing when they agree.
std::optional<std::string> difference(const fs::path& a, const fs::path& b) {
    std::ifstream left(a), right(b);
    std::string l, r;
    for (long line = 1;; ++line) {
        const bool moreLeft = static_cast<bool>(std::getline(left, l));
        const bool moreRight = static_cast<bool>(std::getline(right, r));
        if (!moreLeft && !moreRight) return std::nullopt;
        if (!moreLeft) l = "<end>";
        if (!moreRight) r = "<end>";
        if (l != r) return "line " + std::to_string(line) + ": " + l + "  vs  " + r;
    }
}

// ---- The run --------------------------------------------------------------------------

struct Setting {
    bool forcedWrites;
    Measure empty, pass, perProduct, setBased;
    bool agree = true;
};

Setting runSetting(const Options& options, const fs::path& work, const fs::path& sample,
                   const fs::path& emptySample, bool forcedWrites) {
    Setting setting{forcedWrites, {}, {}, {}, {}};
    const std::string tag = forcedWrites ? "on" : "off";
    const fs::path root = work / ("forced-writes-" + tag);
    struct Contender {
        const char* role;
        const char* folder;
        Measure* measure;
    };
    const Contender contenders[] = {{"pass", "empty", &setting.empty},
                                    {"pass", "pass", &setting.pass},
                                    {"per-product", "per-product", &setting.perProduct},
                                    {"set-based", "set-based", &setting.setBased}};
    // Every copy is made before any contender runs, so all start from the same file.
    for (const Contender& contender : contenders) {
        const fs::path file = root / contender.folder / "Quorvale.GDB";
        copyFlushed(std::string(contender.folder) == "empty" ? emptySample : sample, file);
        runChild({"forced-writes", file.string(), tag});
    }
    for (const Contender& contender : contenders) {
        const fs::path folder = root / contender.folder;
        const bool inFolder = std::string(contender.role) == "pass";
        *contender.measure =
            timedChild(contender.role, (inFolder ? folder : folder / "Quorvale.GDB").string(),
                       folder / "result.txt");
    }
    for (const char* folder : {"pass", "per-product", "set-based"})
        runChild({"state", (root / folder / "Quorvale.GDB").string(),
                  (root / folder / "state.txt").string()});
    for (const char* floor : {"per-product", "set-based"}) {
        if (auto diff = difference(root / "pass" / "state.txt", root / floor / "state.txt")) {
            std::fprintf(stderr, "stock-bench: pass and %s floor disagree (forced writes %s), %s\n",
                         floor, tag.c_str(), diff->c_str());
            setting.agree = false;
        }
    }
    if (!options.keep) fs::remove_all(root);
    return setting;
}

void print(const Options& options, const Setting& s) {
    const double n = options.products;
    std::printf("\nforced writes %s, %d products\n", s.forcedWrites ? "on" : "off",
                options.products);
    std::printf("  %-20s %10s %12s %10s %12s\n", "contender", "seconds", "products/s", "peak MiB",
                "pass / this");
    auto row = [&](const char* name, const Measure& m, bool perSecond) {
        char rate[32] = "-", ratio[32] = "-";
        if (perSecond) std::snprintf(rate, sizeof rate, "%.0f", n / m.seconds);
        if (perSecond && &m != &s.pass)
            std::snprintf(ratio, sizeof ratio, "%.2fx", s.pass.seconds / m.seconds);
        std::printf("  %-20s %10.3f %12s %10.1f %12s\n", name, m.seconds, rate, m.peakMiB, ratio);
    };
    row("pass", s.pass, true);
    row("per-product floor", s.perProduct, true);
    row("set-based floor", s.setBased, true);
    row("empty run (pass)", s.empty, false);
    std::printf("  memory per product above the empty run: %.0f bytes\n",
                (s.pass.peakMiB - s.empty.peakMiB) * 1024.0 * 1024.0 / n);
    std::printf("  results agree: %s\n", s.agree ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) return childMain(argc - 2, argv + 2);
    const Options options = parse(argc, argv);
    self = fs::read_symlink("/proc/self/exe").string();
    try {
        fs::path work;
        bool ownFolder = options.folder.empty();
        if (ownFolder) {
            std::string pattern = (fs::temp_directory_path() / "stock-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
            work = pattern;
        } else {
            work = options.folder;
            fs::create_directories(work);
        }
        const fs::path sample = work / "sample" / "Quorvale.GDB";
        const fs::path emptySample = work / "empty" / "Quorvale.GDB";
        fs::create_directories(sample.parent_path());
        fs::create_directories(emptySample.parent_path());
        fs::remove(sample);
        fs::remove(emptySample);

        const auto start = std::chrono::steady_clock::now();
        runChild({"sample", sample.string(), std::to_string(options.products),
                  std::to_string(options.seed)});
        runChild({"empty", emptySample.string()});
        std::printf(
            "sample database: %d products, 2 branches, 4 sizes x 5 colours, "
            "6 movements each (%.1f s, %.0f MiB) in %s\n",
            options.products,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            static_cast<double>(fs::file_size(sample)) / (1024.0 * 1024.0), work.c_str());

        bool agree = true;
        for (bool forcedWrites : options.forcedWrites) {
            const Setting setting = runSetting(options, work, sample, emptySample, forcedWrites);
            print(options, setting);
            agree = agree && setting.agree;
        }
        if (options.profile) {
            const fs::path file = work / "profile" / "Quorvale.GDB";
            copyFlushed(sample, file);
            runChild({"forced-writes", file.string(), "off"});
            std::printf("\n");
            runChild({"profile", file.parent_path().string()});
        }
        if (ownFolder && !options.keep) fs::remove_all(work);
        return agree ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "stock-bench: %s\n", error.what());
        return 2;
    }
}
