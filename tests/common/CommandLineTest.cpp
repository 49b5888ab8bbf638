#include "common/CommandLine.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace presto::cli {
namespace {

constexpr Option kOptions[] = {
    {"socket", "PATH", "the socket"},
    {"png", nullptr, "PNG alone"},
    {"paste", nullptr, "paste it"},
};
constexpr Program kSender{
    .name = "sender",
    .operands = "KEY FLAGS",
    .description = "Sends a key.",
    .options = kOptions,
    .operandCount = 2,
};
constexpr Program kWindow{
    .name = "window",
    .operands = "",
    .description = "Shows a window.",
    .options = kOptions,
    .toolkitOptions = true,
};

struct Outcome {
    CommandLine line;
    std::string out, err;
};

Outcome parseArgs(const Program& program, std::vector<std::string> args) {
    args.insert(args.begin(), "/some/where/program");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    char* outText = nullptr;
    char* errText = nullptr;
    std::size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    Outcome outcome{parse(int(args.size()), argv.data(), program, out, err), {}, {}};
    std::fclose(out);
    std::fclose(err);
    outcome.out.assign(outText, outSize);
    outcome.err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return outcome;
}

TEST(CommandLine, OptionsAndOperandsInAnyOrderAsGnuProgramsTakeThem) {
    using Options = std::map<std::string, std::string>;
    using Operands = std::vector<std::string>;
    struct Case {
        std::vector<std::string> args;
        Options options;
        Operands operands;
    };
    const Case cases[] = {
        {{"--socket=/s", "1", "2"}, {{"socket", "/s"}}, {"1", "2"}},
        {{"--socket", "/s", "1", "2"}, {{"socket", "/s"}}, {"1", "2"}},
        {{"1", "--so=/s", "2"}, {{"socket", "/s"}}, {"1", "2"}},
        {{"1", "--png", "2", "--pa"}, {{"png", ""}, {"paste", ""}}, {"1", "2"}},
        {{"--", "--png", "-"}, {}, {"--png", "-"}},
    };
    for (const Case& c : cases) {
        const Outcome got = parseArgs(kSender, c.args);
        SCOPED_TRACE(c.args.front());
        EXPECT_FALSE(got.line.exitStatus);
        EXPECT_EQ(got.line.options, c.options);
        EXPECT_EQ(got.line.operands, c.operands);
        EXPECT_EQ(got.out + got.err, "");
    }
}

TEST(CommandLine, AWrongCommandLineIsOneLineOnStandardErrorAndStatusTwo) {
    struct Case {
        const Program& program;
        std::vector<std::string> args;
        const char* problem;
    };
    const Case cases[] = {
        {kSender, {"--bogus", "1", "2"}, "unrecognized option '--bogus'"},
        {kSender, {"--bogus=3", "1", "2"}, "unrecognized option '--bogus'"},
        {kSender, {"--p", "1", "2"}, "option '--p' is ambiguous"},
        {kSender, {"-x", "1", "2"}, "invalid option -- 'x'"},
        {kSender, {"1", "2", "--socket"}, "option '--socket' requires an argument"},
        {kSender, {"--png=yes", "1", "2"}, "option '--png' doesn't allow an argument"},
        {kSender, {}, "missing operand"},
        {kSender, {"1"}, "too few operands"},
        {kSender, {"1", "2", "3"}, "extra operand '3'"},
        {kWindow, {"--platform", "offscreen"}, "unrecognized option '--platform'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        const Outcome got = parseArgs(c.program, c.args);
        EXPECT_EQ(got.line.exitStatus, 2);
        EXPECT_EQ(got.out, "");
        EXPECT_EQ(got.err, std::string(c.program.name) + ": " + c.problem + "\nTry '" +
                               c.program.name + " --help' for more information.\n");
    }
}

TEST(CommandLine, HelpAndVersionAnswerOnStandardOutputBeforeAnythingElse) {
    const Outcome help = parseArgs(kSender, {"--help", "--bogus"});
    EXPECT_EQ(help.line.exitStatus, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_TRUE(help.out.starts_with("Usage: sender [OPTION]... KEY FLAGS\nSends a key.\n"))
        << help.out;
    for (const char* option : {"--socket=PATH", "--png", "--paste", "--help", "--version"})
        EXPECT_NE(help.out.find("\n  " + std::string(option) + " "), std::string::npos) << option;

    const Outcome version = parseArgs(kSender, {"--vers"});
    EXPECT_EQ(version.line.exitStatus, 0);
    EXPECT_EQ(version.out, std::string("sender (Presto) ") + kVersion + "\n");
}

TEST(CommandLine, AToolkitProgramLeavesSingleDashOptionsAndTheirValuesToTheToolkit) {
    const Outcome got =
        parseArgs(kWindow, {"-platform", "offscreen", "--png", "-style", "fusion", "extra"});
    EXPECT_FALSE(got.line.exitStatus);
    EXPECT_EQ(got.line.options, (std::map<std::string, std::string>{{"png", ""}}));
    EXPECT_EQ(got.err, "");
}

} // namespace
} // namespace presto::cli
