#pragma once

#include "notify/MailSubmission.h"

#include <cstddef>
#include <string>

namespace vantrel {

// One send's own terms and what it leaves behind. A caller whose outcome must
// stay apart from the mailer's remembered one (the Preferences' test beside
// the report mails) brings its own to SmtpMailer::sendMail; the reports use
// the mailer's own.
struct SmtpSend {
    // The most bytes one reply of the plain dialogue may take; the rest of a
    // longer reply is read as the next reply.
    std::size_t replyReadSize = 1024;
    MailSubmission submission;
    // The sender's display name in the From line of a secured submission.
    std::string senderName;

    // The outcome: 0 or the failure's code, the last reply read, the text of
    // the failure (a success leaves an earlier one in place) and the step.
    int lastError = 0;
    std::string lastReply;
    std::string errorText;
    int stepFlag = 0;

    bool sent() const { return lastError == 0; }
};

} // namespace vantrel
