// The settings record shared by threads: loads (one per thread attach),
// edits with their saves, and readers that copy it, all at once against
// Wine's real registry. Every reader must see whole records only, and the
// record must never step back to what an earlier edit left.
#include "settings/settings_access.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "settings/encoder_settings.h"
#include "tests/win32_support/host_key.h"
#include "settings/settings_persistence.h"

namespace {

HINSTANCE fakeModule() { return reinterpret_cast<HINSTANCE>(0x10000000); }

// Runs `body` on a new thread until destroyed or joined.
class Thread {
public:
  template <typename Body>
  explicit Thread(Body* body) : handle(CreateThread(nullptr, 0, &run<Body>, body, 0, nullptr)) {}
  ~Thread() { join(); }
  void join() {
    if (!handle) return;
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
    handle = nullptr;
  }
  bool started() const { return handle != nullptr; }

private:
  template <typename Body>
  static DWORD WINAPI run(void* body) {
    (*static_cast<Body*>(body))();
    return 0;
  }
  HANDLE handle;
};

// Record number k: every field is derived from k, so a record mixed from two
// numbers, or with the audience defaults of a load that is still reading,
// does not decode.
EncoderSettings numbered(int k) {
  EncoderSettings settings;
  settings.moduleHandle = fakeModule();
  const int32_t rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};  // only what a load takes
  settings.sampleRate = rates[k % 7];
  settings.audioFormat = k % 4;
  settings.sureStream = k % 2;
  settings.titleArtistOrder = (k / 2) % 2;
  for (int i = 0; i < 8; ++i) settings.targetAudiences[i] = ((k + 1) * 37 >> i) & 1;
  settings.targetAudiences[(k % 7) + 1] = 1;  // never the defaults: one of 1..7 is always set
  std::snprintf(settings.extension, sizeof settings.extension, ".x%d", k);
  return settings;
}

// The k a record was made from, or -1 when it is not a numbered record.
int numberOf(const EncoderSettings& settings) {
  int k = -1;
  if (std::sscanf(settings.extension, ".x%d", &k) != 1 || k < 0) return -1;
  const EncoderSettings expected = numbered(k);
  return std::memcmp(&expected, &settings, sizeof settings) == 0 ? k : -1;
}

// What a thread attach and the next entry point that reads the settings do.
void reload() {
  noteEncoderSettingsReloadDue(fakeModule());
  reloadEncoderSettingsIfDue();
}

void publishAndSave(const EncoderSettings& settings) {
  SettingsEdit edit;
  edit.record() = settings;
  edit.publish();
  saveEncoderSettings(edit.record());
}

class SettingsAccess : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(hostkey::resetToEmpty());
    encoderSettings = EncoderSettings{};
    publishAndSave(numbered(0));
  }
};

TEST_F(SettingsAccess, ACopyIsTheWholePublishedRecord) {
  EXPECT_EQ(numberOf(currentEncoderSettings()), 0);
  publishAndSave(numbered(5));
  EXPECT_EQ(numberOf(currentEncoderSettings()), 5);
  EXPECT_EQ(numberOf(encoderSettings), 5);
}

TEST_F(SettingsAccess, AnEditThatIsNotPublishedChangesNothing) {
  {
    SettingsEdit edit;
    edit.record().sampleRate = 1;
  }
  EXPECT_EQ(numberOf(currentEncoderSettings()), 0);
}

TEST_F(SettingsAccess, ALoadPublishesOnlyTheFinishedRecord) {
  publishAndSave(numbered(3));
  volatile LONG loadsLeft = 400;
  auto loader = [&] {
    while (InterlockedDecrement(&loadsLeft) >= 0) reload();
  };
  int reads = 0, torn = 0;
  {
    Thread first(&loader), second(&loader);
    ASSERT_TRUE(first.started() && second.started());
    while (InterlockedCompareExchange(&loadsLeft, 0, 0) > 0) {
      ++reads;
      if (numberOf(currentEncoderSettings()) != 3) ++torn;
    }
  }
  EXPECT_GT(reads, 0);
  EXPECT_EQ(torn, 0) << "of " << reads << " copies taken during loads";
}

TEST_F(SettingsAccess, EditsWithTheirSavesAndLoadsNeverInterleave) {
  const int kEdits = 150;
  volatile LONG stop = 0;
  auto editor = [&] {
    for (int k = 1; k <= kEdits; ++k) publishAndSave(numbered(k));
    InterlockedExchange(&stop, 1);
  };
  auto loader = [&] {
    while (!InterlockedCompareExchange(&stop, 0, 0)) reload();
  };
  int reads = 0, mixed = 0, backwards = 0, last = 0;
  {
    Thread edits(&editor), loads(&loader), moreLoads(&loader);
    ASSERT_TRUE(edits.started() && loads.started() && moreLoads.started());
    while (!InterlockedCompareExchange(&stop, 0, 0)) {
      const int k = numberOf(currentEncoderSettings());
      ++reads;
      if (k < 0) {
        ++mixed;
      } else {
        // A load that read the registry before an edit's save and published
        // after the edit would take the record back.
        if (k < last) ++backwards;
        last = k;
      }
    }
  }
  EXPECT_EQ(mixed, 0) << "of " << reads << " copies";
  EXPECT_EQ(backwards, 0) << "of " << reads << " copies";
  // The registry and the record agree at the end: the last save was not lost.
  reload();
  EXPECT_EQ(numberOf(currentEncoderSettings()), kEdits);
}

}  // namespace
