#pragma once

#include <QString>
#include <QStringList>

namespace presto {

enum class AlertStyle {
    Informational,
    Critical,
    Warning, // a risk the user may choose to take
};

// A modal alert: the first button is the default one, the second the alternate, the third the
// other. Texts arrive translated; the presenter shows them as plain text, never as markup.
struct AlertRequest {
    QString title;
    QString message;
    QStringList buttons;
    AlertStyle style = AlertStyle::Informational;
};

// Asks the user. The widgets implement it, tests answer it.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // The index of the chosen button in request.buttons; anything else means the alert was
    // dismissed without a choice.
    virtual int run(const AlertRequest& request) = 0;
};

} // namespace presto
