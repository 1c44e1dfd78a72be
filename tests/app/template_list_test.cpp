#include "app/template_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx::app {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> Shown(const TemplateList& list) {
    std::vector<std::string> out;
    for (const auto& item : list.Items()) out.push_back(item.name + (item.ticked ? "+" : ""));
    return out;
}

TEST(TemplateList, TickingNumbersInOrderAndUntickingRenumbers) {
    TemplateList list;
    list.SetInstalled({"T1", "T2", "T3"});
    list.TickChanged(0, true);
    EXPECT_EQ(list.CurrentNumberText(), "1");
    list.TickChanged(1, true);
    list.TickChanged(2, true);
    EXPECT_EQ(list.CurrentNumberText(), "3");
    EXPECT_TRUE(list.NumberLabelsVisible());
    list.TickChanged(1, false);
    EXPECT_THAT(list.Selected(), ElementsAre("T1", "T3"));
    EXPECT_EQ(list.SelectedCount(), 2);
    EXPECT_FALSE(list.NumberLabelsVisible());
    list.CurrentChanged(2);
    EXPECT_EQ(list.CurrentNumberText(), "2");  // T3 is now number 2
    list.CurrentChanged(1);
    EXPECT_FALSE(list.NumberLabelsVisible());
    EXPECT_FALSE(list.PlusEnabled() || list.MinusEnabled() || list.FrontEnabled() || list.BackEnabled());
    // Ticking does not reorder the list control by itself.
    EXPECT_THAT(Shown(list), ElementsAre("T1+", "T2", "T3+"));
    EXPECT_TRUE(list.AutoOrderEnabled());
}

TEST(TemplateList, ToFrontMovesTheCurrentTemplateAndTheButtonsFollow) {
    TemplateList list;
    list.SetInstalled({"T1", "T2", "T3"});
    for (int i = 0; i < 3; ++i) list.TickChanged(i, true);
    EXPECT_FALSE(list.PlusEnabled());
    EXPECT_FALSE(list.BackEnabled());
    EXPECT_TRUE(list.MinusEnabled());
    list.ToFront();
    EXPECT_THAT(list.Selected(), ElementsAre("T3", "T1", "T2"));
    EXPECT_THAT(Shown(list), ElementsAre("T3+", "T1+", "T2+"));
    EXPECT_EQ(list.Current(), 0);
    EXPECT_EQ(list.CurrentNumberText(), "1");
    EXPECT_FALSE(list.MinusEnabled());
    EXPECT_FALSE(list.FrontEnabled());
    EXPECT_TRUE(list.PlusEnabled());
    EXPECT_FALSE(list.AutoOrderEnabled());

    list.PlusOne();
    EXPECT_THAT(list.Selected(), ElementsAre("T1", "T3", "T2"));
    EXPECT_EQ(list.CurrentNumberText(), "2");
    list.ToBack();
    EXPECT_THAT(list.Selected(), ElementsAre("T1", "T2", "T3"));
    EXPECT_EQ(list.CurrentNumberText(), "3");
    list.MinusOne();
    EXPECT_THAT(list.Selected(), ElementsAre("T1", "T3", "T2"));
    EXPECT_THAT(Shown(list), ElementsAre("T1+", "T3+", "T2+"));
}

TEST(TemplateList, OneChosenTemplateDisablesEveryOrderButton) {
    TemplateList list;
    list.SetInstalled({"A", "B"});
    list.TickChanged(1, true);
    EXPECT_FALSE(list.PlusEnabled() || list.MinusEnabled() || list.FrontEnabled() || list.BackEnabled());
    list.ToFront();  // acts on number 1 of 1: no change
    EXPECT_THAT(list.Selected(), ElementsAre("B"));
}

TEST(TemplateList, OrderButtonsIgnoreNumbersOutsideTheSelection) {
    TemplateList list;
    list.SetInstalled({"A", "B"});
    list.TickChanged(0, true);
    list.TickChanged(1, true);
    list.TickChanged(1, false);  // number label still says 2, the selection holds 1
    list.MinusOne();
    list.ToBack();
    EXPECT_THAT(list.Selected(), ElementsAre("A"));
}

TEST(TemplateList, RestoringASettingTicksKnownNamesInItsOrder) {
    TemplateList list;
    list.SetInstalled({"A", "默认", "C"});
    list.RestoreSelection("C|gone||默认");
    EXPECT_THAT(list.Selected(), ElementsAre("C", "默认"));
    EXPECT_THAT(Shown(list), ElementsAre("C+", "默认+", "A"));
    EXPECT_EQ(list.CurrentNumberText(), "2");
    EXPECT_EQ(list.AvailableCount(), 3);
    EXPECT_EQ(list.SelectedCount(), 2);
    EXPECT_FALSE(list.AutoOrderEnabled());

    TemplateList none;
    none.RestoreSelection("默认");
    EXPECT_TRUE(none.Selected().empty());
    EXPECT_EQ(none.CurrentNumberText(), "0");
}

}  // namespace
}  // namespace qx::app
