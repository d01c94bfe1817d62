// The stand-in's RealMedia writer on Windows file semantics (under Wine):
// how its temporary file claims the output name.
#include "rm_writer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string temporaryOutputPath() {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "rm_writer_held_" + std::to_string(GetCurrentProcessId()) + ".rm";
}

std::string firstBytes(const std::string& path, DWORD count) {
  std::string bytes(count, '\0');
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD got = 0;
  if (file != INVALID_HANDLE_VALUE) {
    ReadFile(file, &bytes[0], count, &got, nullptr);
    CloseHandle(file);
  }
  bytes.resize(got);
  return bytes;
}

DWORD WINAPI finishWriter(void* writer) { return static_cast<RmFileWriter*>(writer)->finish() ? 1 : 0; }

// While a reader holds the older output open, finish() waits for it with
// its temporary file still held: another writer of the same output is
// refused instead of taking that file for a leftover, and once the reader
// lets go the finished file replaces the output.
TEST(RmWriterUnderWine, AFinishingWriterKeepsItsNameAndOutwaitsAReaderOfTheOutput) {
  const std::string path = temporaryOutputPath();
  HANDLE older = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(older, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(older, "older", 5, &written, nullptr);
  CloseHandle(older);

  RmFileWriter first;
  ASSERT_EQ(first.create(path), nullptr);
  ASSERT_TRUE(first.begin(RmClipInfo()));
  std::vector<uint8_t> pcm(4410 * 2, 7);
  ASSERT_TRUE(first.writeAudio(pcm.data(), pcm.size()));

  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  HANDLE finishing = CreateThread(nullptr, 0, finishWriter, &first, 0, nullptr);
  ASSERT_NE(finishing, nullptr);
  Sleep(300);
  RmFileWriter second;
  EXPECT_STREQ(second.create(path), "output file is being written by another session");
  CloseHandle(reader);
  WaitForSingleObject(finishing, INFINITE);
  DWORD finished = 0;
  GetExitCodeThread(finishing, &finished);
  CloseHandle(finishing);

  EXPECT_EQ(finished, 1u);
  EXPECT_EQ(firstBytes(path, 4), ".RMF");
  EXPECT_EQ(GetFileAttributesA((path + ".partial").c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(path.c_str());
}

}  // namespace
