// The unzip component on the program's screen and message loop.

#include "gui/Clock.h"
#include "gui/Screen.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipperWin.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(UnZipperWin, ProgramCursorAndPumpAreTheComponentsSeams) {
    zip::TWinExtractFileSystem files;
    zip::TUnZipper z(files);
    zip::ConnectToProgram(z);
    ASSERT_TRUE(z.Cursor && z.OnProcessMessages);

    gui::Screen().SetCursor(gui::TCursor::crDefault);
    EXPECT_EQ(z.Cursor(zip::TZipCursor::HourGlass), zip::TZipCursor::Default);
    EXPECT_EQ(gui::Screen().Cursor(), gui::TCursor::crHourGlass);
    EXPECT_EQ(z.Cursor(zip::TZipCursor::Default), zip::TZipCursor::HourGlass);
    EXPECT_EQ(gui::Screen().Cursor(), gui::TCursor::crDefault);

    // Reading a missing archive fails; the cursor is the one from before.
    z.SetZipName("C:\\no\\such\\archive.zip");
    EXPECT_THROW(z.ReadZip(), zip::ENotAZipFile);
    EXPECT_EQ(gui::Screen().Cursor(), gui::TCursor::crDefault);

    // The pump empties the thread's queue once its interval has passed on the clock.
    gui::ManualClock clock;
    gui::SetClock(&clock);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // the thread gets its queue
    z.OnProcessMessages();
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 7, 0, 0));
    z.OnProcessMessages(); // not due yet
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_USER + 7, WM_USER + 7, PM_NOREMOVE));
    clock.Advance(20);
    z.OnProcessMessages();
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_USER + 7, WM_USER + 7, PM_NOREMOVE));
    gui::SetClock(nullptr);
}

} // namespace
