// make-sample-db: writes a reproducible sample stock database for tests,
// benchmarks and trying the program out.

#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/sample_database.h"

namespace {

void usage(std::FILE* out) {
    std::fputs(
        "usage: make-sample-db PATH [--products N] [--branches B] [--sizes S] [--colours C]\n"
        "                      [--movements M] [--seed X] [--dialect 1|3]\n"
        "                      [--forced-writes on|off] [--charset NAME] [--force]\n",
        out);
}

bool parseInt(std::string_view text, long long low, long long high, long long& value) {
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= low && value <= high;
}

std::string describe(const std::optional<fbtools::ProductKey>& key) {
    if (!key) return "-";
    return std::to_string(key->code) + "/" + std::to_string(key->branch);
}

}  // namespace

int main(int argc, char** argv) {
    fbtools::SampleOptions options;
    std::string path;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        if (arg == "--force") {
            force = true;
            continue;
        }
        if (arg.substr(0, 2) != "--") {
            if (!path.empty()) {
                std::fprintf(stderr, "make-sample-db: more than one PATH given\n");
                return 2;
            }
            path = arg;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "make-sample-db: %s needs a value\n", argv[i]);
            return 2;
        }
        const std::string_view value = argv[++i];
        long long number = 0;
        bool ok = true;
        const auto intOption = [&](int& target, long long low) {
            ok = parseInt(value, low, 100'000'000, number);
            if (ok) target = static_cast<int>(number);
        };
        if (arg == "--products") {
            intOption(options.products, 0);
        } else if (arg == "--branches") {
            intOption(options.branches, 1);
        } else if (arg == "--sizes") {
            intOption(options.sizes, 0);
        } else if (arg == "--colours" || arg == "--colors") {
            intOption(options.colours, 0);
        } else if (arg == "--movements") {
            intOption(options.movements, 0);
        } else if (arg == "--seed") {
            ok = parseInt(value, 0, 4294967295LL, number);
            if (ok) options.seed = static_cast<unsigned>(number);
        } else if (arg == "--dialect") {
            ok = value == "1" || value == "3";
            if (ok) options.dialect = value == "1" ? 1 : 3;
        } else if (arg == "--forced-writes") {
            ok = value == "on" || value == "off";
            options.forcedWrites = value == "on";
        } else if (arg == "--charset") {
            options.charset = value;
        } else {
            std::fprintf(stderr, "make-sample-db: unknown option %s\n", argv[i - 1]);
            usage(stderr);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "make-sample-db: bad value '%s' for %s\n", argv[i], argv[i - 1]);
            return 2;
        }
    }
    if (path.empty()) {
        usage(stderr);
        return 2;
    }

    try {
        std::error_code error;
        if (std::filesystem::exists(path, error)) {
            if (!force) {
                std::fprintf(stderr, "make-sample-db: %s exists (use --force to replace it)\n",
                             path.c_str());
                return 1;
            }
            std::filesystem::remove(path);
        }
        const auto started = std::chrono::steady_clock::now();
        const fbtools::SampleSummary summary = fbtools::createSampleDatabase(path, options);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;

        std::printf("%s: dialect %d, charset %s, forced writes %s, seed %u\n", path.c_str(),
                    options.dialect, options.charset.c_str(), options.forcedWrites ? "on" : "off",
                    options.seed);
        std::printf("  PRODUTO  %d rows (codes 1..%d over %d branches)\n", summary.products,
                    summary.productCodes, options.branches);
        std::printf("  TAM_PROD %lld rows\n", summary.sizeRows);
        std::printf("  COR_PROD %lld rows\n", summary.colourRows);
        std::printf("  MOV_PROD %lld rows\n", summary.movementRows);
        if (summary.withoutSizes) {
            std::printf(
                "  irregular products (code/branch): without sizes %s, null size %s,\n"
                "    size without colours %s, colours for size %d it lacks %s,\n"
                "    movements without product %s\n",
                describe(summary.withoutSizes).c_str(), describe(summary.withNullSize).c_str(),
                describe(summary.sizeWithoutColours).c_str(),
                summary.strayColourTamanho.value_or(0), describe(summary.strayColourSize).c_str(),
                describe(summary.orphanMovements).c_str());
        }
        std::printf("  made in %.1f s\n", elapsed.count());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample-db: %s\n", e.what());
        return 1;
    }
}
