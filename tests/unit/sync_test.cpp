// The pieces two threads share: the gate a window holds a run at, and the
// hand-over of the latest texts and numbers to show.
#include "framework/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/handover.h"

namespace {

// A run looks at its gate: held, it waits until released (and goes on) or
// stopped (and stops); a stop holds for every later look.
TEST(RunGate, HoldsTheRunUntilReleasedOrStopped) {
  CRunGate gate;
  EXPECT_FALSE(gate.StopRequested());
  for (bool stop : {false, true}) {
    gate.Hold();
    std::atomic<int> answer(-1);
    std::thread run([&] { answer = gate.StopRequested(); });
    // The run is held: it waits at the gate and has no answer yet.
    while (!gate.Waiting() && answer < 0) std::this_thread::yield();
    EXPECT_EQ(answer, -1);
    if (stop) gate.Stop();
    else gate.Release();
    run.join();
    EXPECT_EQ(answer, stop ? 1 : 0);
  }
  gate.Release();
  EXPECT_TRUE(gate.StopRequested());
  EXPECT_TRUE(gate.Stopping());
}

// Thousands of notes from one thread, taken now and then by another: the
// window is told once until it takes, what it takes only moves forward, and
// the last note is what it ends with.
TEST(HandOver, LatestNotesReachTheTakerInOrder) {
  CHandOver noted;
  const int kNotes = 20000;
  std::atomic<int> told(0);
  std::atomic<bool> done(false);
  std::thread run([&] {
    for (int i = 1; i <= kNotes; i++) {
      if (noted.NoteNumber(1, i)) told++;
      if (i % 1000 == 0 && noted.NoteText(0, std::to_string(i).c_str())) told++;
    }
    done = true;
  });
  int takes = 0, last = 0;
  CString texts[CHandOver::kSlots];
  int numbers[CHandOver::kSlots] = {0};
  for (bool ended = false; !ended;) {
    ended = done;
    int changes = noted.Take(texts, numbers);
    takes++;
    if (changes & 2) {
      EXPECT_GT(numbers[1], last);
      last = numbers[1];
    }
  }
  run.join();
  noted.Take(texts, numbers);
  EXPECT_EQ(numbers[1], kNotes);
  EXPECT_STREQ(texts[0], std::to_string(kNotes).c_str());
  EXPECT_LE(told.load(), takes + 1);
  EXPECT_FALSE(noted.NoteNumber(CHandOver::kSlots, 1));  // no such slot
}

}  // namespace
