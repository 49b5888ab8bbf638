#pragma once

#include <QString>
#include <QStringList>
#include <utility>

namespace presto {

// The icon the alert shows: a refusal or error, a notice, a question put to the user, or a risk
// the user may choose to take.
enum class AlertStyle { Informational, Critical, Question, Warning };

// A modal alert: the second button is the alternate, the third the other. Texts arrive
// translated; the presenter shows them as plain text, never as markup.
struct AlertRequest {
    AlertRequest() = default;
    AlertRequest(QString title, QString message, QStringList buttons = {},
                 AlertStyle style = AlertStyle::Informational)
        : title(std::move(title)), message(std::move(message)), buttons(std::move(buttons)),
          style(style) {}

    QString title;
    QString message;
    QStringList buttons;
    AlertStyle style = AlertStyle::Informational;
    // The button Return chooses: the first unless a question must not be answered by reflex.
    // Escape chooses the alternate (the only button when there is one).
    int defaultButton = 0;
    // A check box under the message, such as "Do not ask again"; none when empty.
    QString checkBox;
};

struct AlertAnswer {
    // The index of the chosen button in the request's buttons; anything else means the alert
    // was dismissed without a choice.
    int button = -1;
    bool checked = false;
};

// Asks the user. The widgets implement it, tests answer it.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual AlertAnswer ask(const AlertRequest& request) = 0;
    // When only the button matters.
    int run(const AlertRequest& request) { return ask(request).button; }
};

} // namespace presto
