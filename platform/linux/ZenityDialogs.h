#pragma once

#include "platform/DaemonDialogs.h"

namespace presto {

// The daemon's panels as zenity processes found in PATH. A panel counts as not shown when zenity
// cannot start, cannot open the display or fails in any other way than by the user's answer.
// zenity's forms cannot prefill a field, so each field of a form is an entry dialog of its own,
// one after the other; the progress notice is a progress dialog without a cancel button that
// the daemon ends.
class ZenityDialogs final : public DaemonDialogs {
public:
    Response showAlert(const Alert& alert) override;
    Response askFields(const std::string& header, const std::string& message,
                       std::vector<Field>& fields, const std::string& alternateButton) override;
    std::unique_ptr<Notice> showProgress(const std::string& header, const std::string& message,
                                         bool measured) override;
};

} // namespace presto
