#pragma once

#include <memory>
#include <string>
#include <vector>

namespace presto {

// The few panels the daemon shows: alerts and questions with up to three buttons, a form of
// prefilled text fields, and a progress notice without buttons. Every call blocks until the user
// answers, except the notice, which stays until the daemon drops it.
class DaemonDialogs {
public:
    enum class Level { Note, Caution };
    // Default, alternate and other button; NotShown when no panel could be put on the screen
    // (no display, no dialog program), which is never the user's answer.
    enum class Response { Default, Alternate, Other, NotShown };

    struct Alert {
        Level level = Level::Caution;
        std::string header;
        std::string message;
        std::string defaultButton;   // empty: the system's own title
        std::string alternateButton; // empty: none
        std::string otherButton;     // empty: none
    };

    struct Field {
        std::string title;
        std::string value; // shown prefilled; holds the answer after Default
    };

    class Notice {
    public:
        virtual ~Notice() = default; // withdraws the notice
        // How far the work has come, 0 to 1; only for a notice made with a bar.
        virtual void setProgress(double fraction) = 0;
    };

    virtual ~DaemonDialogs() = default;

    virtual Response showAlert(const Alert& alert) = 0;
    // The fields in order; Default leaves the user's text in each value.
    virtual Response askFields(const std::string& header, const std::string& message,
                               std::vector<Field>& fields, const std::string& alternateButton) = 0;
    // A notice that shows work in progress: pulsing, or with a bar when `measured`. Null when it
    // could not be shown.
    virtual std::unique_ptr<Notice> showProgress(const std::string& header,
                                                 const std::string& message, bool measured) = 0;
};

} // namespace presto
