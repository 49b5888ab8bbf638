#include "platform/linux/ZenityDialogs.h"

#include "platform/linux/Subprocess.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace presto {
namespace {

constexpr char kWindowTitle[] = "Presto";

// zenity reads backslash escapes in a dialog's text.
std::string escapeBackslashes(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

// The entry's label also takes an underscore as a mnemonic.
std::string entryLabel(std::string_view text) {
    std::string out;
    for (char c : escapeBackslashes(text)) {
        if (c == '_')
            out += '_';
        out += c;
    }
    return out;
}

// The progress label is Pango markup.
std::string markupText(std::string_view text) {
    std::string out;
    for (char c : escapeBackslashes(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string joined(const std::string& header, const std::string& message) {
    if (message.empty())
        return header;
    if (header.empty())
        return message;
    return header + "\n\n" + message;
}

struct Answer {
    DaemonDialogs::Response response = DaemonDialogs::Response::NotShown;
    std::string out;
};

// Exit 0 is the OK button; 1 is cancel, closing the window, or an extra button (its label on
// stdout). Anything else, or GTK's complaint that it has no display, means no panel was shown.
Answer runZenity(const std::vector<std::string>& argv, const std::string& otherButton = {}) {
    int error = 0;
    std::optional<subprocess::Outcome> outcome = subprocess::run(argv, error);
    Answer answer;
    if (!outcome || !outcome->exited ||
        outcome->err.find("cannot open display") != std::string::npos)
        return answer;
    answer.out = outcome->out;
    if (outcome->status == 0)
        answer.response = DaemonDialogs::Response::Default;
    else if (outcome->status == 1)
        answer.response = !otherButton.empty() && outcome->out == otherButton + "\n"
                              ? DaemonDialogs::Response::Other
                              : DaemonDialogs::Response::Alternate;
    return answer;
}

class ZenityNotice final : public DaemonDialogs::Notice {
public:
    explicit ZenityNotice(subprocess::Helper helper) : helper_(std::move(helper)) {}

    void setProgress(double fraction) override {
        int percent = static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * 100));
        // 100 would enable the dialog's OK button; the daemon withdraws the notice instead.
        percent = std::min(percent, 99);
        if (percent == shown_)
            return;
        shown_ = percent;
        std::string line = std::to_string(percent) + "\n";
        helper_.write({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()},
                      subprocess::Clock::now() + std::chrono::milliseconds(200));
    }

private:
    subprocess::Helper helper_; // killed when the notice goes
    int shown_ = -1;
};

} // namespace

DaemonDialogs::Response ZenityDialogs::showAlert(const Alert& alert) {
    const bool question = !alert.alternateButton.empty() || !alert.otherButton.empty();
    std::vector<std::string> argv{"zenity"};
    if (question) {
        argv.push_back("--question");
        if (alert.level == Level::Caution)
            argv.push_back("--icon-name=dialog-warning");
        argv.push_back("--ok-label=" +
                       (alert.defaultButton.empty() ? std::string("OK") : alert.defaultButton));
        if (!alert.alternateButton.empty())
            argv.push_back("--cancel-label=" + alert.alternateButton);
        if (!alert.otherButton.empty())
            argv.push_back("--extra-button=" + alert.otherButton);
    } else {
        argv.push_back(alert.level == Level::Caution ? "--warning" : "--info");
        if (!alert.defaultButton.empty())
            argv.push_back("--ok-label=" + alert.defaultButton);
    }
    argv.push_back("--no-markup");
    argv.push_back(std::string("--title=") + kWindowTitle);
    argv.push_back("--text=" + escapeBackslashes(joined(alert.header, alert.message)));
    return runZenity(argv, alert.otherButton).response;
}

DaemonDialogs::Response ZenityDialogs::askFields(const std::string& header,
                                                 const std::string& message,
                                                 std::vector<Field>& fields,
                                                 const std::string& alternateButton) {
    std::vector<std::string> answers;
    for (const Field& field : fields) {
        std::vector<std::string> argv{"zenity", "--entry", "--title=" + header,
                                      "--text=" + entryLabel(message + "\n" + field.title),
                                      "--entry-text=" + field.value};
        if (!alternateButton.empty())
            argv.push_back("--cancel-label=" + alternateButton);
        Answer answer = runZenity(argv);
        if (answer.response != Response::Default)
            return answer.response;
        if (answer.out.ends_with('\n'))
            answer.out.pop_back();
        answers.push_back(std::move(answer.out));
    }
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i].value = std::move(answers[i]);
    return Response::Default;
}

std::unique_ptr<DaemonDialogs::Notice>
ZenityDialogs::showProgress(const std::string& header, const std::string& message, bool measured) {
    std::vector<std::string> argv{"zenity",
                                  "--progress",
                                  "--no-cancel",
                                  std::string("--title=") + kWindowTitle,
                                  "--text=" + markupText(joined(header, message)),
                                  measured ? "--percentage=0" : "--pulsate"};
    int error = 0;
    auto helper = subprocess::Helper::start(argv, subprocess::Helper::Pipe::ToStdin, error);
    if (!helper)
        return nullptr;
    return std::make_unique<ZenityNotice>(std::move(*helper));
}

} // namespace presto
