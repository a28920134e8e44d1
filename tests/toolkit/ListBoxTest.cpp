#include "ListBox.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace orvex;

namespace {

// Three items in a shown list box, with the clicks it reports counted.
class ListBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_list.resize(120, 120);
        m_list.SetItemHeight(13);
        m_list.addItems({QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3")});
        m_list.show();
    }
    QPoint At(int row) const { return m_list.visualItemRect(m_list.item(row)).center(); }
    QWidget* Surface() { return m_list.viewport(); }

    TListBox m_list;
    QSignalSpy m_clicks{&m_list, &TListBox::Click};
};

TEST_F(ListBoxTest, APlainClickAndADragEachReportOneClickOnRelease)
{
    QTest::mouseClick(Surface(), Qt::LeftButton, {}, At(0));
    EXPECT_EQ(m_clicks.count(), 1);
    EXPECT_EQ(m_list.currentRow(), 0);
    // Clicking the item that is already selected is a click as well.
    QTest::mouseClick(Surface(), Qt::LeftButton, {}, At(0));
    EXPECT_EQ(m_clicks.count(), 2);

    // Press on the first item, drag over the second to the third.
    QTest::mousePress(Surface(), Qt::LeftButton, {}, At(0));
    QTest::mouseMove(Surface(), At(1));
    QTest::mouseMove(Surface(), At(2));
    EXPECT_EQ(m_clicks.count(), 2); // nothing before the release
    QTest::mouseRelease(Surface(), Qt::LeftButton, {}, At(2));
    EXPECT_EQ(m_clicks.count(), 3);
    EXPECT_EQ(m_list.currentRow(), 2);
    EXPECT_TRUE(m_list.item(2)->isSelected());
}

TEST_F(ListBoxTest, APressBesideTheItemsThatMovesNothingReportsNothing)
{
    QTest::mouseClick(Surface(), Qt::LeftButton, {}, At(1));
    ASSERT_EQ(m_clicks.count(), 1);
    // Below the last item: no item pressed, the selection stays.
    const QPoint below(At(2).x(), m_list.visualItemRect(m_list.item(2)).bottom() + 20);
    ASSERT_EQ(m_list.itemAt(below), nullptr);
    QTest::mouseClick(Surface(), Qt::LeftButton, {}, below);
    EXPECT_EQ(m_clicks.count(), 1);
    EXPECT_EQ(m_list.currentRow(), 1);
    // A key that moves the selection is reported apart, not as a click.
    QSignalSpy keys(&m_list, &TListBox::KeySelect);
    QTest::keyClick(&m_list, Qt::Key_Down);
    EXPECT_EQ(keys.count(), 1);
    EXPECT_EQ(m_clicks.count(), 1);
}

} // namespace
