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
    void answer(const QString& buttonTitle) { answers_.push_back(buttonTitle); }

    int run(const AlertRequest& request) override {
        requests_.push_back(request);
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected alert: " << request.title.toStdString();
            return -1;
        }
        const QString title = answers_.front();
        answers_.pop_front();
        const auto index = request.buttons.indexOf(title);
        if (index < 0)
            ADD_FAILURE() << "no button " << title.toStdString() << " in alert "
                          << request.title.toStdString();
        return static_cast<int>(index);
    }

    const std::vector<AlertRequest>& requests() const { return requests_; }
    bool allAnswered() const { return answers_.empty(); }

private:
    std::deque<QString> answers_;
    std::vector<AlertRequest> requests_;
};

} // namespace presto::test
