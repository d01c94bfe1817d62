// rmplugin.dll as a multi-core host drives it: many files converted at once
// on their own threads, while another thread keeps starting threads (each
// start reloads the settings in the library) and a third keeps editing the
// settings through the panel. Every file must get one whole set of settings,
// one that was current while it was being created, and the very audio it
// gets when converted alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/parallel/engine_log.h"
#include "tests/win32_support/host_key.h"
#include "tests/win32_support/host_window.h"
#include "tests/plugin/plugin_exports.h"
#include "settings/settings_panel_ids.h"
#include "tests/win32_support/test_dll.h"

namespace {

// ------------------------------------------------------------ small tools

void setVariable(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

std::string freshFolder() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  char unique[MAX_PATH] = {};
  GetTempFileNameA(temp, "par", 0, unique);  // creates a file; the folder takes its name
  DeleteFileA(unique);
  std::string folder = std::string(unique) + ".d\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A thread running `body(argument)`, joined by join().
class Thread {
public:
  template <typename Body>
  explicit Thread(Body* body) {
    handle = CreateThread(nullptr, 0, &run<Body>, body, 0, nullptr);
  }
  ~Thread() { join(); }
  bool started() const { return handle != nullptr; }
  bool running() const { return handle && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT; }
  void join() {
    if (!handle) return;
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
    handle = nullptr;
  }

private:
  template <typename Body>
  static DWORD WINAPI run(void* body) {
    (*static_cast<Body*>(body))();
    return 0;
  }
  HANDLE handle = nullptr;
};

// ------------------------------------------------------------ the inputs

struct Input {
  WAVEFORMATEX format = {};
  std::vector<uint8_t> pcm;
};

// A short tone with a little deterministic noise, in the given format.
Input makeInput(int index, uint32_t rate, uint16_t channels, uint16_t bits) {
  Input input;
  input.format.wFormatTag = WAVE_FORMAT_PCM;
  input.format.nChannels = channels;
  input.format.nSamplesPerSec = rate;
  input.format.wBitsPerSample = bits;
  input.format.nBlockAlign = WORD(channels * bits / 8);
  input.format.nAvgBytesPerSec = input.format.nBlockAlign * rate;
  const uint32_t frames = rate / 5;  // 0.2 s
  uint32_t noise = 12345u + uint32_t(index);
  for (uint32_t frame = 0; frame < frames; ++frame) {
    for (uint16_t channel = 0; channel < channels; ++channel) {
      noise = noise * 1664525u + 1013904223u;
      double value = 0.6 * std::sin(2 * 3.14159265358979 * (220.0 + 97.0 * index + channel * 31.0) * frame / rate) +
                     0.05 * (double(noise >> 16) / 65536.0 - 0.5);
      int32_t sample = int32_t(value * ((1 << (bits - 1)) - 1));
      if (bits == 8) {
        input.pcm.push_back(uint8_t(sample + 128));
      } else {
        for (int byte = 0; byte < bits / 8; ++byte) input.pcm.push_back(uint8_t(uint32_t(sample) >> (8 * byte)));
      }
    }
  }
  return input;
}

std::vector<Input> makeInputs(int count) {
  const uint32_t rates[] = {8000, 11025, 22050, 32000, 44100, 48000, 16000};
  const uint16_t bits[] = {16, 8, 24};
  std::vector<Input> inputs;
  for (int i = 0; i < count; ++i) inputs.push_back(makeInput(i, rates[i % 7], uint16_t(1 + i % 2), bits[i % 3]));
  return inputs;
}

// ------------------------------------------------------------ conversions

struct Conversion {
  std::string outputPath;
  int32_t createError = -1;
  int blockErrors = 0;
  // The panel edits completed before creation started and after it ended.
  LONG editsBefore = 0;
  LONG editsAfter = 0;
};

void convert(const pluginapi::Exports& plugin, const Input& input, Conversion& conversion,
             volatile LONG* editsDone) {
  if (editsDone) conversion.editsBefore = InterlockedCompareExchange(editsDone, 0, 0);
  CompressionObject* object = plugin.create(conversion.outputPath.c_str(), &conversion.createError, &input.format);
  if (editsDone) conversion.editsAfter = InterlockedCompareExchange(editsDone, 0, 0);
  if (object == nullptr) return;
  if (conversion.createError == 0) {
    const size_t blockBytes = 6000;  // not a whole frame of every format
    for (size_t offset = 0;;) {
      size_t bytes = input.pcm.size() - offset < blockBytes ? input.pcm.size() - offset : blockBytes;
      bool last = offset + bytes == input.pcm.size();
      int32_t error = -1;
      plugin.block(object, input.pcm.data() + offset, uint32_t(bytes), last ? 1 : 0, &error);
      if (error != 0) ++conversion.blockErrors;
      offset += bytes;
      if (last) break;
    }
  }
  plugin.destroy(object);
}

// ------------------------------------------------------------ the settings

// The settings a state of the registry gives an engine, for an input with
// `inputChannels` (only "Stereo Music" codes two channels).
struct StoredState {
  uint32_t rate = 0, format = 0, sureStream = 0;
  uint32_t audiences[8] = {};

  static StoredState read() {
    StoredState state;
    state.rate = hostkey::get("ZVKRMFreq").asDword();
    state.format = hostkey::get("ZVKRMAudioFormat").asDword();
    state.sureStream = hostkey::get("ZVKRMSurestream").asDword();
    for (int i = 0; i < 8; ++i) {
      state.audiences[i] = hostkey::get(("ZVKRMTarget" + std::to_string(i)).c_str()).asDword();
    }
    return state;
  }
  void write() const {
    hostkey::setDword("ZVKRMFreq", rate);
    hostkey::setDword("ZVKRMAudioFormat", format);
    hostkey::setDword("ZVKRMSurestream", sureStream);
    for (int i = 0; i < 8; ++i) hostkey::setDword(("ZVKRMTarget" + std::to_string(i)).c_str(), audiences[i]);
  }
  EngineSettings asEngineSees() const {
    EngineSettings settings;
    settings.sampleRate = rate;
    settings.channels = format == 3 ? 2 : 1;
    settings.audioFormat = format;
    settings.multiRate = sureStream;
    for (int i = 0; i < 8; ++i) {
      if (audiences[i] != 0) settings.audiences.push_back(i);
    }
    return settings;
  }
};

// The panel's commands as a user's clicks send them: the control changes,
// then the dialog procedure hears of it.
class PanelUser {
public:
  explicit PanelUser(HWND panel) : panel(panel) {}

  void chooseFromList(int id, int entry) {
    SendDlgItemMessageA(panel, id, CB_SETCURSEL, WPARAM(entry), 0);
    notify(id, CBN_SELCHANGE);
  }
  void click(int id) {
    if (id >= IDC_AUDIENCE_FIRST && id <= IDC_AUDIENCE_LAST) {
      LRESULT state = SendDlgItemMessageA(panel, id, BM_GETCHECK, 0, 0);
      SendDlgItemMessageA(panel, id, BM_SETCHECK, state == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    }
    notify(id, BN_CLICKED);
  }
  // Edit number `step` of an endless script that visits every rate, format
  // and mode and many audience sets.
  void edit(int step) {
    switch (step % 6) {
      case 0: chooseFromList(IDC_FREQUENCY_LIST, (step / 6 * 3) % 7); break;
      case 1: chooseFromList(IDC_AUDIO_FORMAT_LIST, (step / 6) % 4); break;
      case 2: click(IDC_SURESTREAM); break;
      case 3: click(IDC_AUDIENCE_FIRST + (step / 6 * 3 + 1) % 8); break;
      case 4: click(IDC_AUDIENCE_FIRST + (step / 6 * 5 + 2) % 8); break;
      default: click((step / 6) % 3 == 0 ? IDC_SINGLE_RATE : IDC_AUDIENCE_FIRST + (step / 6) % 8); break;
    }
  }

private:
  void notify(int id, WORD code) {
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(id, code), LPARAM(GetDlgItem(panel, id)));
  }
  HWND panel;
};

// ------------------------------------------------------------ the fixture

class ParallelConversions : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(hostkey::resetToEmpty());
    initial.rate = 22050;
    initial.format = 2;
    initial.sureStream = 1;
    initial.audiences[2] = initial.audiences[5] = 1;
    initial.write();
    for (const char* name : {"RMBE_PCM", "RMBE_PINS", "RMBE_CHUNK_BYTES", "RMBE_FAIL", "RMBE_CODEC"}) setVariable(name, "");
    folder = freshFolder();
    setVariable("RMBE_LOG", folder + "calls.json");
    setVariable("RMBE_LOG_ENGINE", "1");
    setVariable("RMBE_PCM_PER_FILE", "1");
    plugin.reset(new testdll::Library(pluginapi::kDllName));
    ASSERT_NE(plugin->module(), nullptr);
    exports.reset(new pluginapi::Exports(*plugin));
    ASSERT_TRUE(exports->complete());
  }
  void TearDown() override {
    exports.reset();
    plugin.reset();
    for (const char* name : {"RMBE_LOG", "RMBE_LOG_ENGINE", "RMBE_PCM_PER_FILE"}) setVariable(name, "");
    hostkey::resetToEmpty();  // the next program on this prefix starts from the defaults
  }

  // Stores `state` and converts `input` alone on a new thread, which must
  // use that state; the PCM the engine accepted.
  std::string convertAlone(const StoredState& state, const Input& input, const std::string& name) {
    state.write();
    Conversion conversion;
    conversion.outputPath = folder + name;
    auto convertHere = [&] { convert(*exports, input, conversion, nullptr); };
    Thread(&convertHere).join();
    EXPECT_EQ(conversion.createError, 0) << name;
    const auto seen = settingsByOutputFile(folder + "calls.json");
    const auto found = seen.find(conversion.outputPath);
    EXPECT_TRUE(found != seen.end() && found->second == state.asEngineSees()) << name;
    return readFile(conversion.outputPath + ".pcm");
  }

  int liveEngineObjects() const {
    using CountFn = int(__cdecl*)();
    auto count = reinterpret_cast<CountFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("rmbe3260.dll"), "RmbeLiveObjects")));
    return count ? count() : -1;
  }

  StoredState initial;
  std::string folder;
  std::unique_ptr<testdll::Library> plugin;
  std::unique_ptr<pluginapi::Exports> exports;
};

TEST_F(ParallelConversions, EachFileGetsOneWholeCurrentSettingsSetAndItsOwnAudio) {
  const int kFiles = 24;
  const int kWorkers = 4;
  const std::vector<Input> inputs = makeInputs(kFiles);
  std::vector<Conversion> conversions(kFiles);
  for (int i = 0; i < kFiles; ++i) conversions[i].outputPath = folder + "file" + std::to_string(i) + ".rm";

  volatile LONG stop = 0;
  volatile LONG editsDone = 0;
  volatile LONG nextFile = 0;
  // states[k]: the registry (and so the record) after k panel edits.
  std::vector<StoredState> states{initial};
  bool panelShown = false;
  LONG threadStarts = 0;

  auto panelThread = [&] {
    HWND host = hostwindow::create(false);
    panelShown = host && exports->show(host);
    HWND panel = host ? FindWindowExA(host, nullptr, "#32770", nullptr) : nullptr;
    if (!panelShown || !panel) return;
    PanelUser user(panel);
    for (int step = 0; !InterlockedCompareExchange(&stop, 0, 0); ++step) {
      user.edit(step);
      states.push_back(StoredState::read());  // only this thread writes the registry
      InterlockedIncrement(&editsDone);
      Sleep(1);
    }
    DestroyWindow(host);
  };
  auto threadStarter = [&] {
    auto nothing = [] {};
    while (!InterlockedCompareExchange(&stop, 0, 0)) {
      Thread started(&nothing);  // its attach reloads the settings
      if (started.started()) ++threadStarts;
    }
  };
  auto worker = [&] {
    for (LONG file; (file = InterlockedIncrement(&nextFile) - 1) < kFiles;) {
      convert(*exports, inputs[size_t(file)], conversions[size_t(file)], &editsDone);
    }
  };

  {
    Thread panel(&panelThread);
    Thread starter(&threadStarter);
    // Conversions start once the panel is busy (or has given up).
    while (InterlockedCompareExchange(&editsDone, 0, 0) < 3 && panel.running()) Sleep(1);
    std::vector<std::unique_ptr<Thread>> workers;
    for (int i = 0; i < kWorkers; ++i) workers.emplace_back(new Thread(&worker));
    for (auto& thread : workers) thread->join();
    InterlockedExchange(&stop, 1);
  }
  ASSERT_TRUE(panelShown);
  EXPECT_GT(threadStarts, kFiles) << "too few settings reloads ran beside the conversions";
  EXPECT_GT(states.size(), 10u) << "too few panel edits ran beside the conversions";
  EXPECT_EQ(liveEngineObjects(), 0);

  const std::map<std::string, EngineSettings> seen = settingsByOutputFile(folder + "calls.json");
  std::vector<std::string> parallelPcm(kFiles);
  std::vector<StoredState> stateUsed(kFiles);
  for (int i = 0; i < kFiles; ++i) {
    const Conversion& conversion = conversions[size_t(i)];
    SCOPED_TRACE("file " + std::to_string(i));
    ASSERT_EQ(conversion.createError, 0);
    EXPECT_EQ(conversion.blockErrors, 0);
    auto found = seen.find(conversion.outputPath);
    ASSERT_NE(found, seen.end()) << "no engine named " << conversion.outputPath;
    const EngineSettings& got = found->second;
    EXPECT_EQ(got.settingCalls, 4) << "each setting is given once";
    // Current during creation: the state after the edits done before it
    // began, or one that an edit made while it ran (the last of those may
    // not have been counted yet).
    const size_t first = size_t(conversion.editsBefore);
    const size_t last = std::min(states.size() - 1, size_t(conversion.editsAfter) + 1);
    bool matched = false;
    for (size_t k = first; k <= last && !matched; ++k) {
      if (states[k].asEngineSees() == got) {
        matched = true;
        stateUsed[size_t(i)] = states[k];
      }
    }
    EXPECT_TRUE(matched) << "got " << describe(got) << "; current during creation was "
                         << describe(states[first].asEngineSees()) << " (edit " << first << ") to "
                         << describe(states[last].asEngineSees()) << " (edit " << last << ")";
    parallelPcm[size_t(i)] = readFile(conversion.outputPath + ".pcm");
    EXPECT_FALSE(parallelPcm[size_t(i)].empty());
  }
  if (HasFailure()) return;

  // The same inputs with the same settings, one at a time and alone.
  for (int i = 0; i < kFiles; ++i) {
    const std::string alone = convertAlone(stateUsed[size_t(i)], inputs[size_t(i)],
                                           "alone" + std::to_string(i) + ".rm");
    EXPECT_TRUE(alone == parallelPcm[size_t(i)]) << "file " << i << ": " << parallelPcm[size_t(i)].size()
                                                 << " bytes in parallel, " << alone.size() << " alone";
  }
}

TEST_F(ParallelConversions, TheExtensionIsNeverSeenHalfLoaded) {
  ASSERT_TRUE(hostkey::setString("ZVKRMExt", ".long-extension"));
  auto nothing = [] {};
  Thread reload(&nothing);  // loads the extension
  reload.join();

  volatile LONG stop = 0;
  volatile LONG threadStarts = 0;
  auto threadStarter = [&] {
    while (!InterlockedCompareExchange(&stop, 0, 0)) {
      Thread started(&nothing);
      if (started.started()) InterlockedIncrement(&threadStarts);
    }
  };
  int wrong = 0;
  int reads = 0;
  std::string wrongText;
  {
    Thread starter(&threadStarter);
    // Reads until a few hundred reloads have run beside them.
    while (InterlockedCompareExchange(&threadStarts, 0, 0) < 300 && starter.running()) {
      char buffer[260];
      std::memset(buffer, 'x', sizeof buffer);
      exports->extension(buffer);
      ++reads;
      if (std::strcmp(buffer, ".long-extension") != 0) {
        ++wrong;
        wrongText = buffer;
      }
    }
    InterlockedExchange(&stop, 1);
  }
  EXPECT_EQ(wrong, 0) << wrong << " of " << reads << " reads were wrong, the last \"" << wrongText << "\"";
}

}  // namespace
