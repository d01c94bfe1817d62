// The stand-in's RealMedia writer on Windows file semantics (under Wine).
#include "standin-engine/rm_writer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

DWORD WINAPI finishWriter(void* writer) { return static_cast<RmFileWriter*>(writer)->finish() ? 1 : 0; }

// While a reader holds the older output open, finish() waits for it with
// its temporary file still held: another writer of the same output is
// refused instead of taking that file for a leftover, and once the reader
// lets go the finished file replaces the output.
TEST(RmWriterUnderWine, AFinishingWriterKeepsItsNameAndOutwaitsAReaderOfTheOutput) {
  const std::string path = ::testing::TempDir() + "held" + std::to_string(GetCurrentProcessId()) + ".rm";
  std::ofstream(path) << "older";
  RmFileWriter first, second;
  ASSERT_EQ(first.create(path), nullptr);
  ASSERT_TRUE(first.begin(RmClipInfo()));
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE finishing = CreateThread(nullptr, 0, finishWriter, &first, 0, nullptr);
  Sleep(300);
  EXPECT_STREQ(second.create(path), "output file is being written by another session");
  CloseHandle(reader);
  DWORD finished = 0;
  WaitForSingleObject(finishing, INFINITE);
  GetExitCodeThread(finishing, &finished);
  CloseHandle(finishing);
  EXPECT_EQ(finished, 1u);
  std::string head(4, '\0');
  std::ifstream(path, std::ios::binary).read(&head[0], 4);
  EXPECT_EQ(head, ".RMF");
  DeleteFileA(path.c_str());
}

}  // namespace
