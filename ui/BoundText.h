#pragma once

#include <QString>
#include <string>

class QComboBox;
class QLineEdit;

namespace vantrel {

// A text control bound to engine bytes. Show puts the bytes into the control;
// gather gives back the very bytes that were shown as long as the control
// still shows what show put there, so texts that are not valid UTF-8 (files
// from an 8-bit code page) survive opening and closing a dialog unchanged.
class BoundText {
public:
    // Texts are of any length: a bound box takes and keeps more than the
    // 32,767 characters a line edit holds by default. Show does this too.
    static void allowAnyLength(QLineEdit* edit);
    static void allowAnyLength(QComboBox* box);

    void show(QLineEdit* edit, const std::string& bytes);
    // Keeps the bytes to show later (showKept): until then gather gives
    // them back, as if they had been shown.
    void keep(const std::string& bytes);
    void showKept(QLineEdit* edit);
    // Selects the first choice that begins with the text, ignoring case, and
    // otherwise puts the text itself into the edit field. An empty text
    // selects nothing and leaves the field empty.
    void show(QComboBox* box, const std::string& bytes);

    std::string gather(const QLineEdit* edit) const;
    // The text of the edit field, a choice or anything typed.
    std::string gather(const QComboBox* box) const;

    // True when the control no longer holds what show last put into it.
    bool changed(const QLineEdit* edit) const;
    bool changed(const QComboBox* box) const;

private:
    std::string gatherText(const QString& current) const;

    std::string shownBytes_;
    QString shown_;
    QString held_; // what the control held right after the last show
    std::string kept_;
    std::string asked_; // the bytes a choice box was last asked to show
    bool askedValid_ = false;
    bool keeping_ = false; // kept_ waits to be shown
};

} // namespace vantrel
