// The stand-in engine's own strictness: calls in a wrong order, references
// given back too often or never, and the file it completes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/build_engine.h"
#include "tests/engine/session_test_support.h"

namespace {

using ::testing::HasSubstr;

// A session started and ready; the tests then misuse the engine directly.
class StandinTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    overReleasesBefore = standinOverReleases();
  }
  void TearDown() override {
    disposeBuildSession(session);
    EXPECT_EQ(standinLiveObjects(), 0) << standinReport();
    EXPECT_EQ(standinOverReleases(), overReleasesBefore + expectedOverReleases) << standinReport();
  }
  // The last logged call's result and note.
  LoggedCall lastCall() const {
    std::vector<LoggedCall> calls = log();
    return calls.empty() ? LoggedCall() : calls.back();
  }
  int overReleasesBefore = 0;
  int expectedOverReleases = 0;
};

TEST_F(StandinTest, ChunkBeforePrepareIsRefused) {
  setEnvironment("RMBE_FAIL", "BuildEngine.17=80004005");
  ASSERT_EQ(start().failedStep, 8);
  // Make the sample by hand: the session stopped before step 9.
  void* made = nullptr;
  ASSERT_EQ(session.sampleFactory->vtbl->createInstance(session.sampleFactory, &kClsidMediaSample, nullptr,
                                                        &kIidMediaSample, &made), kResultOk);
  session.mediaSample = static_cast<MediaSample*>(made);
  uint8_t chunk[4] = {};
  EXPECT_EQ(submitChunk(session, chunk, 4, 0), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "chunk before prepare");
}

TEST_F(StandinTest, SettingsChangedAfterPrepareAreRefused) {
  ASSERT_TRUE(start().ok());
  ClipProperties* clip = session.clipProperties;
  EXPECT_EQ(clip->vtbl->setTitle(clip, "Other"), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "setting changed after prepare");
  EXPECT_EQ(clip->vtbl->setOutputFile(clip, "elsewhere.rm"), kResultUnexpected);
  TargetSettings* targets = session.targetSettings;
  EXPECT_EQ(targets->vtbl->addTargetAudience(targets, 4), kResultUnexpected);
  EXPECT_EQ(session.engine->vtbl->prepareToEncode(session.engine), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "prepared twice");
}

TEST_F(StandinTest, PrepareNeedsAnOutputFileAndACompleteAudioFormat) {
  setEnvironment("RMBE_FAIL", "ClipProperties.8@1=80004005");
  ASSERT_EQ(start().failedStep, 4);
  EXPECT_EQ(session.engine->vtbl->prepareToEncode(session.engine), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "no output file named");
  ClipProperties* clip = session.clipProperties;
  ASSERT_EQ(clip->vtbl->setOutputFile(clip, outputPath.c_str()), kResultOk);
  EXPECT_EQ(session.engine->vtbl->prepareToEncode(session.engine), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "audio input format incomplete or unsupported");
}

TEST_F(StandinTest, ChunksThatAreTooLargeMisalignedOrGoBackInTimeAreRefused) {
  codedChannels = 2;
  ASSERT_TRUE(start().ok());
  std::vector<uint8_t> chunk(8192);
  EXPECT_EQ(submitChunk(session, chunk.data(), 4100, 10), static_cast<int32_t>(0x80070057u));
  EXPECT_EQ(lastCall().note, "chunk larger than the preferred size");
  EXPECT_EQ(submitChunk(session, chunk.data(), 6, 10), static_cast<int32_t>(0x80070057u));
  EXPECT_EQ(lastCall().note, "chunk is not a whole number of frames");
  EXPECT_EQ(submitChunk(session, chunk.data(), 4096, 23), kResultOk);
  EXPECT_EQ(submitChunk(session, chunk.data(), 4096, 22), static_cast<int32_t>(0x80070057u));
  EXPECT_EQ(lastCall().note, "time stamp went back");
  EXPECT_EQ(submitChunk(session, chunk.data(), 4096, 23), kResultOk);
}

TEST_F(StandinTest, TimeStampsOtherThanTheChunksEndAreAcceptedAndNoted) {
  codedChannels = 2;
  settings.sampleRate = 44100;
  ASSERT_TRUE(start().ok());
  std::vector<uint8_t> chunk(4096);  // 1024 frames, 23.2 ms
  EXPECT_EQ(submitChunk(session, chunk.data(), 4096, 23), kResultOk);
  EXPECT_EQ(lastCall().note, "");
  EXPECT_EQ(submitChunk(session, chunk.data(), 4096, 23), kResultOk);
  EXPECT_EQ(lastCall().note, "time stamp 23 ms is not the chunk's end time, 46 ms");
}

// The temporary file claims the output name: a second session naming it
// while the first is at work is refused then, and the first writes it whole.
TEST_F(StandinTest, AnOutputNameBelongsToOneSessionAtATime) {
  setEnvironment("RMBE_CODEC", "pcm");  // the first session's chunk is then found as it was sent
  ASSERT_TRUE(start().ok());
  BuildSession other;
  EXPECT_EQ(startBuildSession(other, outputPath.c_str(), codedChannels, settings).failedStep, 4);
  EXPECT_EQ(lastCall().note, "output file is being written by another session");
  disposeBuildSession(other);
  const std::vector<uint8_t> chunk(4096, 0x5A);
  ASSERT_EQ(submitChunk(session, chunk.data(), 4096, 92), kResultOk);
  finishBuildSession(session);
  EXPECT_NE(readWholeFile(outputPath).find(std::string(4096, 0x5A)), std::string::npos);
  EXPECT_FALSE(fileExists(outputPath + ".partial"));
}

TEST_F(StandinTest, NamesTheTemporaryFileCannotTakeFailWhenNamed) {
  for (const std::string& path : {folder + "missing" + outputPath.substr(folder.size() - 1),
                                  outputPath + std::string(255 - outputPath.size(), 'x')}) {
    disposeBuildSession(session);
    EXPECT_EQ(startBuildSession(session, path.c_str(), codedChannels, settings).failedStep, 4) << path;
    EXPECT_EQ(lastCall().result, kResultFail);
  }
}

TEST_F(StandinTest, NothingIsAcceptedAfterTheEndAndTheEndComesOnce) {
  ASSERT_TRUE(start().ok());
  finishBuildSession(session);
  EXPECT_EQ(lastCall().result, 0);
  uint8_t chunk[2] = {};
  EXPECT_EQ(submitChunk(session, chunk, 2, 1), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "chunk after end");
  EXPECT_EQ(session.engine->vtbl->endEncoding(session.engine), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "ended twice");
  EXPECT_TRUE(fileExists(outputPath));
}

TEST_F(StandinTest, EndBeforePrepareIsRefusedAndWritesNothing) {
  setEnvironment("RMBE_FAIL", "ClipProperties.8=80004005");
  ASSERT_EQ(start().failedStep, 4);
  finishBuildSession(session);
  EXPECT_EQ(lastCall().note, "end before prepare");
  EXPECT_FALSE(fileExists(outputPath));
}

TEST_F(StandinTest, ReleaseOnceTooOftenIsCountedReportedAndHarmless) {
  BuildEngine* engine = nullptr;
  ASSERT_EQ(RMACreateRMBuildEngine(&engine), kResultOk);
  EXPECT_EQ(engine->vtbl->release(engine), 0u);
  EXPECT_EQ(engine->vtbl->release(engine), 0u);
  expectedOverReleases = 1;
  EXPECT_EQ(lastCall().note, "released once too often");
  EXPECT_THAT(standinReport(), HasSubstr("Engine1 released 1 time(s) too often"));
  // Any other call through the released engine is refused, not obeyed.
  EXPECT_EQ(engine->vtbl->setMultiRate(engine, 1), kResultUnexpected);
  EXPECT_EQ(lastCall().note, "call through a released object");
}

TEST_F(StandinTest, ReferencesStillHeldAreListedByName) {
  ASSERT_TRUE(start().ok());
  // The class factory is a view of the engine, hence its two references.
  EXPECT_EQ(standinLiveObjects(), 5);
  const std::string report = standinReport();
  for (const char* line : {"Engine1 still referenced (2)", "Pin1 still referenced (1)", "Clip1 still referenced (1)",
                           "Targets1 still referenced (1)", "Sample1 still referenced (1)"})
    EXPECT_THAT(report, HasSubstr(line));
  EXPECT_THAT(report, ::testing::Not(HasSubstr("Enum1")));
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST(StandinExitReport, ReferencesLeftAtExitAreReportedOnStandardError) {
  EXPECT_EXIT(
      {
        BuildEngine* engine = nullptr;
        RMACreateRMBuildEngine(&engine);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "Engine[0-9]+ still referenced \\(1\\)");
}

TEST(StandinReservedSlots, CallingASlotThePlugInNeverUsesStopsTheProcess) {
  EXPECT_DEATH(
      {
        BuildEngine* engine = nullptr;
        RMACreateRMBuildEngine(&engine);
        engine->vtbl->reserved5(engine);
      },
      "called through a slot the plug-in never uses");
}
#endif

TEST_F(StandinTest, RecordableAndPerfectPlayClipFlagsBecomeTheFilesFlags) {
  ASSERT_TRUE(start().ok());
  finishAndDispose();
  const std::string file = readWholeFile(outputPath);
  ASSERT_GT(file.size(), 50u);
  // PROP flags: saved (recordable, clip slot 24) and perfect play (slot 4).
  const size_t prop = file.find("PROP");
  ASSERT_NE(prop, std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(file[prop + 48]), 0);
  EXPECT_EQ(static_cast<unsigned char>(file[prop + 49]), 3);
}

}  // namespace
