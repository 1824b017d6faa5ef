// Tabbed pages: hidden tabs come back at their place, code selects silently, the user's
// click can be refused.

#include "VisualWinSupport.h"
#include "gui/PageControl.h"

#include <commctrl.h>

using namespace gui;

namespace {

class PageControlTest : public testsupport::VisualTest {
  protected:
    void SetUp() override {
        VisualTest::SetUp();
        pages = &form->Create<TPageControl>(*form, "PageControl1", TBounds{0, 0, 500, 300});
        for (const char* name : {"TabSheet1", "TabSheet4", "Cat", "TabSheet3"})
            sheets.push_back(&form->Create<TTabSheet>(*pages, name, std::string("Page ") + name));
    }

    std::string TabText(int tab) const {
        char text[64] = {};
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(pages->Handle(), TCM_GETITEMA, static_cast<WPARAM>(tab),
                     reinterpret_cast<LPARAM>(&item));
        return text;
    }
    int TabCount() const { return static_cast<int>(SendMessageA(pages->Handle(), TCM_GETITEMCOUNT, 0, 0)); }

    // A user's click on a tab, delivered as the mouse message the tab control reacts to.
    void ClickTab(int tab) {
        RECT rect{};
        SendMessageA(pages->Handle(), TCM_GETITEMRECT, static_cast<WPARAM>(tab),
                     reinterpret_cast<LPARAM>(&rect));
        Click(pages->Handle(), (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }

    TPageControl* pages = nullptr;
    std::vector<TTabSheet*> sheets;
};

TEST_F(PageControlTest, HiddenTabReturnsAtItsPlaceAndTheActivePageMovesOff) {
    ASSERT_EQ(TabCount(), 4);
    pages->SetActivePage(sheets[2]);
    sheets[2]->SetTabVisible(false);
    sheets[1]->SetTabVisible(false);
    EXPECT_EQ(TabCount(), 2);
    EXPECT_EQ(TabText(1), "Page TabSheet3");
    EXPECT_EQ(sheets[2]->TabIndex(), -1);
    EXPECT_EQ(pages->ActivePage(), sheets[0]) << "hiding the active tab selects another";
    EXPECT_TRUE(IsWindowVisible(sheets[0]->Handle()) || !IsWindowVisible(form->Handle()));
    EXPECT_FALSE(GetWindowLongA(sheets[2]->Handle(), GWL_STYLE) & WS_VISIBLE);

    sheets[2]->SetTabVisible(true);
    EXPECT_EQ(TabCount(), 3);
    EXPECT_EQ(TabText(1), "Page Cat");
    sheets[1]->SetTabVisible(true);
    EXPECT_EQ(TabText(1), "Page TabSheet4");
    EXPECT_EQ(TabText(2), "Page Cat");
    EXPECT_EQ(sheets[2]->PageIndex(), 2);
}

TEST_F(PageControlTest, CodeSelectsSilentlyAndTheUsersClickCanBeRefused) {
    int changing = 0, changed = 0;
    bool allow = false;
    pages->OnChanging = [&](bool& allowChange) {
        ++changing;
        allowChange = allow;
    };
    pages->OnChange = [&] { ++changed; };

    pages->SetActivePageIndex(3);
    EXPECT_EQ(SendMessageA(pages->Handle(), TCM_GETCURSEL, 0, 0), 3);
    EXPECT_TRUE(GetWindowLongA(sheets[3]->Handle(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(changing + changed, 0);

    ClickTab(1);
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(pages->ActivePage(), sheets[3]);

    allow = true;
    ClickTab(1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(pages->ActivePage(), sheets[1]);
    EXPECT_TRUE(GetWindowLongA(sheets[1]->Handle(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(GetWindowLongA(sheets[3]->Handle(), GWL_STYLE) & WS_VISIBLE);
}

} // namespace
