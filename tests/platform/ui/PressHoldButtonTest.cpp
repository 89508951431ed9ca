#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/ui/PostedMessage.h"
#include "platform/ui/PressHoldButtonQt.h"

namespace {

struct Seen {
    UINT type;
    WPARAM id;
    std::uint32_t position;
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os)
{
    *os << std::hex << "{0x" << s.type << ", " << std::dec << s.id << ", 0x" << std::hex << s.position << "}";
}

// The dialog's side: what arrives through its queue.
class Parent : public QWidget {
public:
    std::vector<Seen> seen;

protected:
    bool event(QEvent* e) override
    {
        if (const auto* m = dynamic_cast<const ui::PostedMessage*>(e); m != nullptr) {
            seen.push_back({m->Message(), m->wParam, static_cast<std::uint32_t>(m->lParam)});
            return true;
        }
        return QWidget::event(e);
    }
};

class PressHoldButtonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "press_hold_button_tests";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr) {
            app = new QApplication(argc, argv);
        }
    }

    void SetUp() override
    {
        parent = std::make_unique<Parent>();
        button = new PressHoldButton("Major...", 4, parent.get());
        button->setGeometry(10, 10, 60, 20);
        parent->show();
        QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
    }

    std::vector<Seen> Delivered()
    {
        QCoreApplication::processEvents();
        return parent->seen;
    }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton which = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(which);
        QMouseEvent e(type, at, button->mapToGlobal(at), which, held, Qt::NoModifier);
        QApplication::sendEvent(button, &e);
    }

    static QApplication* app;
    std::unique_ptr<Parent> parent;
    PressHoldButton* button = nullptr;
    int clicks = 0;
};

QApplication* PressHoldButtonTest::app = nullptr;

const Seen Press(WPARAM id, std::uint32_t at) { return {kButtonPressMessage, id, at}; }
const Seen Release(WPARAM id, std::uint32_t at) { return {kButtonReleaseMessage, id, at}; }

TEST_F(PressHoldButtonTest, PressAndReleaseArePostedWithTheIdAndPositionAndTheClickStillHappens)
{
    EXPECT_EQ(4, button->GetDlgCtrlID());
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 7));
    EXPECT_TRUE(parent->seen.empty()) << "posted to the parent's queue, not sent";
    EXPECT_TRUE(button->isDown()) << "and the button's own handling ran";
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, 8));
    EXPECT_EQ((std::vector<Seen>{Press(4, 0x00070005), Release(4, 0x00080006)}), Delivered());
    EXPECT_EQ(1, clicks);
}

TEST_F(PressHoldButtonTest, AReleaseOffTheButtonIsPostedWithItsPositionCutTo16Bits)
{
    Mouse(QEvent::MouseButtonPress, QPoint(3, 4));
    Mouse(QEvent::MouseButtonRelease, QPoint(-20, 70000));
    EXPECT_EQ((std::vector<Seen>{Press(4, 0x00040003), Release(4, 0x1170FFEC)}), Delivered());
    EXPECT_EQ(0, clicks) << "released off the button: no click";
    EXPECT_EQ(0x0000FFFFu, PackPosition(-1, 0));
    EXPECT_EQ(0xFFFF0000u, PackPosition(0, -1));
}

TEST_F(PressHoldButtonTest, ADoubleClicksSecondPressIsNotReportedButItsReleaseIs)
{
    Mouse(QEvent::MouseButtonPress, QPoint(1, 1));
    Mouse(QEvent::MouseButtonRelease, QPoint(1, 1));
    Mouse(QEvent::MouseButtonDblClick, QPoint(2, 2));
    EXPECT_TRUE(button->isDown()) << "the second press still draws the button pressed";
    Mouse(QEvent::MouseButtonRelease, QPoint(2, 2));
    EXPECT_EQ((std::vector<Seen>{Press(4, 0x00010001), Release(4, 0x00010001), Release(4, 0x00020002)}),
              Delivered());
}

TEST_F(PressHoldButtonTest, NothingIsPostedWhenDisabledForOtherButtonsOrFromTheKeyboard)
{
    button->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    button->setEnabled(true);
    Mouse(QEvent::MouseButtonPress, QPoint(5, 5), Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, QPoint(5, 5), Qt::RightButton);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_TRUE(Delivered().empty());
    EXPECT_EQ(1, clicks) << "the space bar clicks it as any button";

    auto* orphan = new PressHoldButton("Note...", 7, nullptr);
    QTest::mouseClick(orphan, Qt::LeftButton);
    delete orphan;
    EXPECT_TRUE(Delivered().empty()) << "a button without a parent posts nowhere";
}

}  // namespace
