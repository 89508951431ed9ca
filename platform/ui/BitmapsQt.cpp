#include "platform/ui/TreeCtrlQt.h"

// The Qt backend's stand-ins for the bitmaps of the program's resources.
#include <QApplication>
#include <QPainter>
#include <QStyle>

#include "platform/ui/Bitmaps.h"

namespace ui {

namespace {

constexpr int kImageHeight = 16;
constexpr int kImageCount = 15;
constexpr int kIconSize = 16;

// --- the tree's pictures, 17 x 16 on white

void DrawIcon(QPainter& p, int index, QStyle::StandardPixmap which)
{
    const QPixmap icon = QApplication::style()->standardIcon(which).pixmap(kIconSize, kIconSize);
    p.drawPixmap(index * kTreeImageWidth, 0, icon);
}

void DrawComputer(QPainter& p, int x, int y, int size, const QColor& screen)
{
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(x, y, size, size * 3 / 4);
    p.setBrush(screen);
    p.drawRect(x + 2, y + 2, size - 4, size * 3 / 4 - 4);
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(x + size / 4, y + size * 3 / 4 + 1, size / 2, 2);
}

void DrawLabel(QPainter& p, int index, const QString& top, const QString& bottom)
{
    QFont font = p.font();
    font.setPixelSize(7);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0, 0, 128));
    const int x = index * kTreeImageWidth;
    p.drawText(QRect(x, 0, kTreeImageWidth, 8), Qt::AlignCenter, top);
    p.drawText(QRect(x, 8, kTreeImageWidth, 8), Qt::AlignCenter, bottom);
}

QPixmap TreeImages()
{
    QPixmap strip(kTreeImageWidth * kImageCount, kImageHeight);
    strip.fill(Qt::white);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawIcon(p, 0, QStyle::SP_DirOpenIcon);
    DrawIcon(p, 1, QStyle::SP_DirClosedIcon);
    DrawIcon(p, 2, QStyle::SP_DriveFDIcon);
    DrawIcon(p, 3, QStyle::SP_DriveHDIcon);
    DrawIcon(p, 4, QStyle::SP_DriveNetIcon);
    DrawIcon(p, 5, QStyle::SP_DriveCDIcon);
    // 6: a memory chip.
    p.setPen(QColor(30, 30, 30));
    p.setBrush(QColor(30, 90, 40));
    p.drawRect(6 * kTreeImageWidth + 3, 4, 11, 8);
    for (int leg = 0; leg < 5; ++leg) {
        p.drawLine(6 * kTreeImageWidth + 4 + leg * 2, 2, 6 * kTreeImageWidth + 4 + leg * 2, 3);
        p.drawLine(6 * kTreeImageWidth + 4 + leg * 2, 13, 6 * kTreeImageWidth + 4 + leg * 2, 14);
    }
    // 7: two computers; 8: a group of them; 9: one.
    DrawComputer(p, 7 * kTreeImageWidth, 1, 9, QColor(60, 110, 200));
    DrawComputer(p, 7 * kTreeImageWidth + 7, 6, 9, QColor(60, 110, 200));
    DrawComputer(p, 8 * kTreeImageWidth, 0, 7, QColor(60, 160, 90));
    DrawComputer(p, 8 * kTreeImageWidth + 9, 0, 7, QColor(60, 160, 90));
    DrawComputer(p, 8 * kTreeImageWidth + 4, 8, 7, QColor(60, 160, 90));
    DrawComputer(p, 9 * kTreeImageWidth + 1, 1, 14, QColor(60, 110, 200));
    // 10: a folder marked 3; 11 and 12: the number over a word.
    DrawIcon(p, 10, QStyle::SP_DirClosedIcon);
    QFont font = p.font();
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(10 * kTreeImageWidth, 3, kTreeImageWidth, 12), Qt::AlignCenter, QStringLiteral("3"));
    DrawLabel(p, 11, QStringLiteral("4"), QStringLiteral("FilE"));
    DrawLabel(p, 12, QStringLiteral("5"), QStringLiteral("GRP"));
    // 13: a network cable.
    p.setPen(QPen(QColor(40, 40, 160), 2));
    p.setBrush(Qt::NoBrush);
    p.drawLine(13 * kTreeImageWidth + 1, 12, 13 * kTreeImageWidth + 6, 12);
    p.drawLine(13 * kTreeImageWidth + 6, 12, 13 * kTreeImageWidth + 10, 4);
    p.drawLine(13 * kTreeImageWidth + 10, 4, 13 * kTreeImageWidth + 15, 4);
    p.setPen(QColor(20, 20, 20));
    p.setBrush(QColor(180, 180, 180));
    p.drawRect(13 * kTreeImageWidth + 1, 10, 3, 4);
    p.drawRect(13 * kTreeImageWidth + 12, 2, 3, 4);
    // 14: a globe.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(20, 60, 140), 1));
    p.setBrush(QColor(110, 170, 240));
    p.drawEllipse(QRectF(14 * kTreeImageWidth + 1.5, 1.5, 13, 13));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(14 * kTreeImageWidth + 5.5, 1.5, 5, 13));
    p.drawLine(QPointF(14 * kTreeImageWidth + 1.5, 8), QPointF(14 * kTreeImageWidth + 14.5, 8));
    return strip;
}

}  // namespace

QPixmap LoadBitmap(UINT id)
{
    if (id == kTreeImagesBitmap) {
        return TreeImages();
    }
    return {};
}

}  // namespace ui
