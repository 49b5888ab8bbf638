#pragma once

#include "config/model/AlertPresenter.h"

#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace presto::test {

// Answers alerts by button title, in the order queued, and keeps every request. An alert nobody
// expected fails the test and is dismissed without a choice.
class ScriptedAlerts : public AlertPresenter {
public:
    // With `tickCheckBox`, the alert's check box is ticked first; it must have one.
    void answer(const QString& buttonTitle, bool tickCheckBox = false) {
        answers_.push_back({buttonTitle, tickCheckBox});
    }

    AlertAnswer ask(const AlertRequest& request) override {
        requests_.push_back(request);
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected alert: " << request.title.toStdString();
            return {};
        }
        const Answer answer = answers_.front();
        answers_.pop_front();
        const auto index = request.buttons.indexOf(answer.button);
        if (index < 0)
            ADD_FAILURE() << "no button " << answer.button.toStdString() << " in alert "
                          << request.title.toStdString();
        if (answer.tick && request.checkBox.isEmpty())
            ADD_FAILURE() << "no check box in alert " << request.title.toStdString();
        return {static_cast<int>(index), answer.tick};
    }

    const std::vector<AlertRequest>& requests() const { return requests_; }
    bool allAnswered() const { return answers_.empty(); }

private:
    struct Answer {
        QString button;
        bool tick;
    };
    std::deque<Answer> answers_;
    std::vector<AlertRequest> requests_;
};

} // namespace presto::test
