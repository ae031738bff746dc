// The DLL as a Windows host uses it: loaded with LoadLibrary, its exports found with
// GetProcAddress, called on the host's own threads, unloaded with FreeLibrary (as bots do when
// they reload plug-ins) and loaded again. A thread that called an export must be able to end
// after the DLL is gone: the library leaves nothing that runs when a thread ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "commands/command_test_helpers.h"

namespace deckhand::testing {
namespace {

// The DLL beside this program, by its full path, as the command tests load it.
std::string DllPath() {
  char program[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(nullptr, program, sizeof program);
  std::string path(program, length);
  return path.substr(0, path.find_last_of("\\/") + 1) + "deckhand.dll";
}

struct ExportCase {
  const char* name;
  const char* line;
  std::string reply;
};

const ExportCase kCases[] = {
    {"Deck", "u #t modes.ini deck,m", "NOTICE #t " + kDeckSetBytes + "m"},
    {"Draw", "u #t m draw,1", "NOTICE #t A"},
    {"Count", "u #t m count", "NOTICE #t 3"},
    {"Check", "u #t m check", "NOTICE #t A,B,C"},
    {"Shuffle", "u #t modes.ini shuffle", "NOTICE #t " + kShuffledBytes},
};

void PrintTo(const ExportCase& c, std::ostream* out) { *out << c.name; }

// Calls one export on a thread of its own, which then waits to be told to end.
struct CallingThread {
  DeckhandCommand command = nullptr;
  std::string line;
  std::optional<std::string> reply;
  HANDLE called = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE may_end = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);

  ~CallingThread() {
    ::CloseHandle(called);
    ::CloseHandle(may_end);
  }

  static DWORD WINAPI Run(void* self) {
    auto& thread = *static_cast<CallingThread*>(self);
    thread.reply = CallCommand(thread.command, thread.line);
    ::SetEvent(thread.called);
    ::WaitForSingleObject(thread.may_end, INFINITE);
    return 0;
  }
};

DeckhandCommand Find(HMODULE dll, const char* name) {
  return reinterpret_cast<DeckhandCommand>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
}

class UnloadTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(UnloadTest, AThreadThatCalledAnExportEndsAfterTheDllIsGone) {
  const ExportCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", "[DECK]\r\n#t=A,B,C\r\n");
  scratch.Write("modes.ini", "[MODE]\r\nm=cards.ini\r\n");
  scratch.Write("cards.ini", DeckFile({"A", "B", "C"}));

  HMODULE dll = ::LoadLibraryA(DllPath().c_str());
  ASSERT_NE(dll, nullptr) << "error " << ::GetLastError();
  CallingThread caller;
  caller.command = Find(dll, c.name);
  caller.line = c.line;
  ASSERT_NE(caller.command, nullptr) << c.name;
  HANDLE thread = ::CreateThread(nullptr, 0, &CallingThread::Run, &caller, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ::WaitForSingleObject(caller.called, INFINITE);
  EXPECT_EQ(caller.reply, c.reply);

  ASSERT_TRUE(::FreeLibrary(dll));
  ASSERT_EQ(::GetModuleHandleA("deckhand.dll"), nullptr) << "the DLL is still loaded";
  ::SetEvent(caller.may_end);
  ASSERT_EQ(::WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  ::GetExitCodeThread(thread, &exit_code);
  ::CloseHandle(thread);
  EXPECT_EQ(exit_code, 0u);

  // Loaded again, the DLL plays on from what was saved.
  dll = ::LoadLibraryA(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  EXPECT_EQ(CallCommand(Find(dll, "Count"), "u #t m count"),
            std::string(c.name) == "Draw" ? "NOTICE #t 2" : "NOTICE #t 3");
  ::FreeLibrary(dll);
}

INSTANTIATE_TEST_SUITE_P(Exports, UnloadTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ExportCase>& info) {
                           return std::string(info.param.name);
                         });

// The host and the DLL it loads are of the word size this build was made for: in the 32-bit
// build, a 32-bit host loading the 32-bit DLL that users ship.
TEST(ShippedDllTest, HostAndDllAreOfTheBuildsWordSize) {
  EXPECT_EQ(sizeof(void*), static_cast<std::size_t>(DECKHAND_POINTER_BYTES));
  HMODULE dll = ::LoadLibraryA(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(dll);
  auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(dll) + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine,
            DECKHAND_POINTER_BYTES == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);
  ::FreeLibrary(dll);
}

}  // namespace
}  // namespace deckhand::testing
