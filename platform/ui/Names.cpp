#include "platform/ui/Names.h"

#include <QByteArray>
#include <QFile>

#include "platform/NoCase.h"

namespace ui {


int CompareNoCase(std::string_view a, std::string_view b) { return platform::CompareNoCase(a, b); }

bool EqualNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareNoCase(a, b) == 0; }

QString DrawnName(std::string_view bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string NameBytes(const QString& drawn)
{
    const QByteArray bytes = QFile::encodeName(drawn);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace ui
