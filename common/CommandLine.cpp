#include "common/CommandLine.h"

#include "common/Version.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace presto::cli {

const char* const kVersion = PRESTO_BUNDLE_VERSION;

namespace {

constexpr Option kHelp{"help", nullptr, "display this help and exit"};
constexpr Option kVersionOption{"version", nullptr, "output version information and exit"};

std::string optionText(const Option& option) {
    std::string text = std::string("--") + option.name;
    if (option.argument)
        text += std::string("=") + option.argument;
    return text;
}

// Fills lines of at most 79 columns with the words of `text`; its own line breaks stay.
void printWrapped(std::FILE* out, std::string_view text) {
    constexpr std::size_t kWidth = 79;
    std::size_t column = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of(" \n"), text.size());
        const std::string_view word = text.substr(0, end);
        if (column > 0 && column + 1 + word.size() > kWidth) {
            std::fputc('\n', out);
            column = 0;
        }
        if (column > 0) {
            std::fputc(' ', out);
            ++column;
        }
        std::fwrite(word.data(), 1, word.size(), out);
        column += word.size();
        if (end < text.size() && text[end] == '\n') {
            std::fputc('\n', out);
            column = 0;
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    std::fputc('\n', out);
}

void printHelp(const Program& program, std::FILE* out) {
    std::fprintf(out, "Usage: %s [OPTION]...%s%s\n", program.name, *program.operands ? " " : "",
                 program.operands);
    printWrapped(out, program.description);
    std::fprintf(out, "\nOptions:\n");
    std::vector<Option> all(program.options.begin(), program.options.end());
    all.push_back(kHelp);
    all.push_back(kVersionOption);
    std::size_t width = 0;
    for (const Option& option : all)
        width = std::max(width, optionText(option).size());
    for (const Option& option : all)
        std::fprintf(out, "  %-*s  %s\n", static_cast<int>(width), optionText(option).c_str(),
                     option.help);
    if (program.notes)
        std::fprintf(out, "\n%s\n", program.notes);
}

void printVersion(const Program& program, std::FILE* out) {
    // The package in parentheses when the program is only a part of it.
    if (std::strcmp(program.name, "Presto") == 0)
        std::fprintf(out, "Presto %s\n", kVersion);
    else
        std::fprintf(out, "%s (Presto) %s\n", program.name, kVersion);
}

CommandLine refuse(const Program& program, std::FILE* err, const std::string& problem) {
    std::fprintf(err, "%s: %s\nTry '%s --help' for more information.\n", program.name,
                 problem.c_str(), program.name);
    CommandLine refused;
    refused.exitStatus = 2;
    return refused;
}

// The option `name` stands for: itself, or the one option it is the beginning of.
const Option* findOption(const std::vector<Option>& all, std::string_view name, bool& ambiguous) {
    const Option* found = nullptr;
    ambiguous = false;
    for (const Option& option : all) {
        if (name == option.name)
            return &option;
        if (std::string_view(option.name).starts_with(name)) {
            ambiguous = found != nullptr;
            found = &option;
        }
    }
    return ambiguous ? nullptr : found;
}

} // namespace

CommandLine parse(int argc, char** argv, const Program& program, std::FILE* out, std::FILE* err) {
    std::vector<Option> all(program.options.begin(), program.options.end());
    all.push_back(kHelp);
    all.push_back(kVersionOption);
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            if (!program.toolkitOptions)
                line.operands.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            if (program.toolkitOptions)
                continue;
            return refuse(program, err,
                          "invalid option -- '" + std::string(arg.substr(1, 1)) + "'");
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(2, equals == arg.npos ? arg.npos : equals - 2);
        bool ambiguous = false;
        const Option* option = findOption(all, name, ambiguous);
        if (!option)
            return refuse(program, err,
                          std::string(ambiguous ? "option '" : "unrecognized option '") +
                              std::string(arg.substr(0, equals)) +
                              (ambiguous ? "' is ambiguous" : "'"));
        if (option->name == kHelp.name) {
            printHelp(program, out);
            line.exitStatus = 0;
            return line;
        }
        if (option->name == kVersionOption.name) {
            printVersion(program, out);
            line.exitStatus = 0;
            return line;
        }
        std::string value;
        if (option->argument) {
            if (equals != arg.npos)
                value = arg.substr(equals + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                return refuse(program, err,
                              std::string("option '--") + option->name + "' requires an argument");
        } else if (equals != arg.npos) {
            return refuse(program, err,
                          std::string("option '--") + option->name + "' doesn't allow an argument");
        }
        line.options[option->name] = value;
    }
    if (program.toolkitOptions)
        return line;
    const auto given = static_cast<int>(line.operands.size());
    if (given < program.operandCount)
        return refuse(program, err, given == 0 ? "missing operand" : "too few operands");
    if (given > program.operandCount)
        return refuse(program, err,
                      "extra operand '" + line.operands[std::size_t(program.operandCount)] + "'");
    return line;
}

} // namespace presto::cli
