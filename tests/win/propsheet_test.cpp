// The property sheet's pages: a page past the limit is refused, and the sheet
// then does not run with a page missing; a page knows its place.
#include "framework/propsheet.h"

#include <gtest/gtest.h>

TEST(SheetPages, PagePastTheLimitIsRefusedAndTheSheetDoesNotRun) {
  struct Page : CPropertyPage {
    Page() : CPropertyPage(1) {}
  } pages[9];
  CPropertySheet sheet("test");
  for (int i = 0; i < 8; i++) EXPECT_TRUE(sheet.AddPage(&pages[i])) << i;
  EXPECT_FALSE(sheet.AddPage(&pages[8]));
  EXPECT_EQ(sheet.GetPageIndex(&pages[0]), 0);
  EXPECT_EQ(sheet.GetPageIndex(&pages[7]), 7);
  EXPECT_EQ(sheet.GetPageIndex(&pages[8]), -1);  // the refused one
  EXPECT_EQ(sheet.DoModal(), -1);
}
