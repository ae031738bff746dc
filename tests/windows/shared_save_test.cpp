// Saves through the exports while others hold the save file open: a reader in this process, or
// another program that opens it without sharing its deletion (a virus scanner, a backup tool,
// an editor). A save waits a little for such a holder and then gives up, keeping the old file.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "commands/command_test_helpers.h"
#include "storage/data_path.h"

namespace deckhand::testing {
namespace {

constexpr int kDraws = 200;

// Opens the save file as such programs do: reading, sharing reads and writes, not deletion.
HANDLE OpenWithoutSharingDeletion() {
  return ::CreateFileA(MakeDataPath("decksave.ini").c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether a save has begun writing its new file beside the save file.
bool NewSaveFileWritten() {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA(MakeDataPath("decksave.ini.*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  return true;
}

TEST(SharedSaveTest, DrawsSaveWhileAnotherThreadKeepsCounting) {
  ScratchDirectory scratch;
  std::string deck;
  for (int i = 0; i < kDraws; ++i) deck += (i == 0 ? "" : ",") + std::to_string(i);
  scratch.Write("decksave.ini", "[DECK]\r\n#t=" + deck + "\r\n#u=X,Y\r\n");

  std::atomic<bool> drawing{true};
  std::atomic<int> wrong_counts{0};
  std::thread counter([&] {
    while (drawing) {
      if (Count("n #u m count") != "NOTICE #u 2") ++wrong_counts;
    }
  });
  int failed = 0;
  for (int i = 0; i < kDraws; ++i) {
    if (Draw("n #t m draw,1") != "NOTICE #t " + std::to_string(i)) ++failed;
  }
  drawing = false;
  counter.join();
  EXPECT_EQ(failed, 0) << "draws that did not save";
  EXPECT_EQ(wrong_counts, 0);
  EXPECT_EQ(SavedLine(scratch, "#t"), "");
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

TEST(SharedSaveTest, ADrawWaitsForAForeignReaderThatSoonLetsGo) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", "[DECK]\r\n#t=A,B\r\n");
  HANDLE held = OpenWithoutSharingDeletion();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  // It lets go 200 ms after the save has written its new file, so the first replace meets it.
  std::thread reader([held] {
    while (!NewSaveFileWritten()) ::Sleep(1);
    ::Sleep(200);
    ::CloseHandle(held);
  });
  EXPECT_EQ(Draw("n #t m draw,1"), "NOTICE #t A");
  reader.join();
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=B\r\n");
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

TEST(SharedSaveTest, ADrawGivesUpOnAForeignReaderThatHoldsOnAndKeepsTheOldDeck) {
  ScratchDirectory scratch;
  const std::string before = "[DECK]\r\n#t=A,B\r\n";
  scratch.Write("decksave.ini", before);
  HANDLE held = OpenWithoutSharingDeletion();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  // Held until the draw has answered, far longer than a save waits.
  EXPECT_EQ(Draw("n #t m draw,1"), "NOTICE #t " + kSaveFailedBytes);
  ::CloseHandle(held);
  EXPECT_EQ(scratch.Read("decksave.ini"), before);
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

}  // namespace
}  // namespace deckhand::testing
