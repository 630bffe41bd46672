#include "ui/QtText.h"

#include <QStringDecoder>

namespace vantrel {

QString QtText::toQt(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!decoder.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString QtText::oneLine(const std::string& bytes) {
    std::string line;
    line.reserve(bytes.size());
    bool breakPending = false;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
                line.pop_back();
            breakPending = true;
        } else if (breakPending && (c == ' ' || c == '\t')) {
            continue;
        } else {
            if (breakPending && !line.empty())
                line += ' ';
            breakPending = false;
            line += c;
        }
    }
    return toQt(line);
}

} // namespace vantrel
