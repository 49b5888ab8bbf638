#pragma once

#include "platform/DaemonDialogs.h"

#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace presto::test {

// The daemon's panels answered from a script, in the order queued; every request is kept. A
// panel nobody expected fails the test and counts as not shown.
class ScriptedDialogs final : public DaemonDialogs {
public:
    struct Request {
        enum Kind { Alert, Fields, Progress } kind = Alert;
        DaemonDialogs::Alert alert;               // Alert
        std::string header, message;              // Fields, Progress
        std::vector<DaemonDialogs::Field> fields; // Fields: as shown
        std::string alternateButton;              // Fields
        bool measured = false;                    // Progress
    };

    // The next panel gets this response; a form also gets these texts typed into its fields.
    void answer(Response response, std::optional<std::vector<std::string>> typed = std::nullopt) {
        std::lock_guard lock(mutex_);
        answers_.push_back({response, std::move(typed)});
    }
    // Progress notices fail to show while set.
    void setProgressShown(bool shown) { progressShown_ = shown; }

    Response showAlert(const DaemonDialogs::Alert& alert) override {
        Request request;
        request.alert = alert;
        return next(std::move(request)).response;
    }

    Response askFields(const std::string& header, const std::string& message,
                       std::vector<Field>& fields, const std::string& alternateButton) override {
        Request request;
        request.kind = Request::Fields;
        request.header = header;
        request.message = message;
        request.fields = fields;
        request.alternateButton = alternateButton;
        Answer answer = next(std::move(request));
        if (answer.response == Response::Default && answer.typed) {
            EXPECT_EQ(answer.typed->size(), fields.size()) << "typed texts for " << header;
            for (std::size_t i = 0; i < fields.size() && i < answer.typed->size(); ++i)
                fields[i].value = (*answer.typed)[i];
        }
        return answer.response;
    }

    std::unique_ptr<Notice> showProgress(const std::string& header, const std::string& message,
                                         bool measured) override {
        Request request;
        request.kind = Request::Progress;
        request.header = header;
        request.message = message;
        request.measured = measured;
        std::size_t index;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            index = requests_.size() - 1;
            if (!progressShown_)
                return nullptr;
        }
        return std::make_unique<RecordingNotice>(*this, index);
    }

    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::vector<Request> requestsOf(Request::Kind kind) const {
        std::vector<Request> found;
        for (const Request& request : requests())
            if (request.kind == kind)
                found.push_back(request);
        return found;
    }
    std::vector<double> progressOf(std::size_t noticeIndex) const {
        std::lock_guard lock(mutex_);
        return noticeIndex < progress_.size() ? progress_[noticeIndex] : std::vector<double>{};
    }
    std::size_t openNotices() const {
        std::lock_guard lock(mutex_);
        return openNotices_;
    }
    bool allAnswered() const {
        std::lock_guard lock(mutex_);
        return answers_.empty();
    }

private:
    struct Answer {
        Response response;
        std::optional<std::vector<std::string>> typed;
    };

    class RecordingNotice final : public Notice {
    public:
        RecordingNotice(ScriptedDialogs& owner, std::size_t index) : owner_(owner), index_(index) {
            std::lock_guard lock(owner_.mutex_);
            ++owner_.openNotices_;
        }
        ~RecordingNotice() override {
            std::lock_guard lock(owner_.mutex_);
            --owner_.openNotices_;
        }
        void setProgress(double fraction) override {
            std::lock_guard lock(owner_.mutex_);
            if (owner_.progress_.size() <= index_)
                owner_.progress_.resize(index_ + 1);
            owner_.progress_[index_].push_back(fraction);
        }

    private:
        ScriptedDialogs& owner_;
        std::size_t index_;
    };

    Answer next(Request request) {
        std::lock_guard lock(mutex_);
        const std::string what =
            request.kind == Request::Alert ? request.alert.header : request.header;
        requests_.push_back(std::move(request));
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected panel: " << what;
            return {Response::NotShown, std::nullopt};
        }
        Answer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::vector<Request> requests_;
    std::vector<std::vector<double>> progress_;
    std::size_t openNotices_ = 0;
    bool progressShown_ = true;
};

} // namespace presto::test
