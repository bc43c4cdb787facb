#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/command.h"

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: kyvern-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const kyvern::cli::Command& c : kyvern::cli::Commands()) {
        std::fprintf(out, "  %s\n", c.usage);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");  // numbers always with a decimal point
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    kyvern::cli::Args args(argv + 2, argv + argc);
    for (const kyvern::cli::Command& c : kyvern::cli::Commands()) {
        if (std::strcmp(c.name, argv[1]) == 0) return c.run(args);
    }
    std::fprintf(stderr, "kyvern-cli: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
