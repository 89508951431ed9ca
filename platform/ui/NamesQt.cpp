#include "platform/ui/QtAccess.h"

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>

namespace ui {

QString DrawnName(std::string_view bytes)
{
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Stateless: a sequence cut off at the end is an error, not left pending.
    // A leading byte-order mark is part of the name and stays in it.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString drawn = utf8(view);
    if (!utf8.hasError()) {
        return drawn;
    }
    // Not UTF-8 as a whole: a name from an old floppy or share, where every
    // byte is a Latin-1 letter. Decoding only the bad bytes so would mix two
    // readings of one name.
    return QString::fromLatin1(view);
}

std::string NameBytes(const QString& drawn)
{
    // Only text that came from Qt reaches here (typed into a field, or a path
    // from Qt's file dialog, which decoded it with decodeName): its encoding
    // gives the path's own bytes back and types UTF-8.
    const QByteArray bytes = QFile::encodeName(drawn);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace ui
