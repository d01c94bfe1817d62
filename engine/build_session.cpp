#include "engine/build_session.h"

#include <cstring>

#include "engine/access_path.h"
#include "engine/clip_metadata.h"
#include "settings/encoder_settings.h"

namespace {

constexpr uint32_t kMimeBufferBytes = 256;
constexpr int kAudienceSlots = 9;

BuildStartResult failure(int step, int32_t result) {
  BuildStartResult outcome;
  outcome.failedStep = step;
  outcome.result = failed(result) ? result : kResultFail;
  return outcome;
}

// The platform object, then the engine library's component folders.
bool preparePlatform(BuildSession& session, const EncoderSettings& settings) {
  if (session.platform) return true;
  session.platform = session.makePlatform ? session.makePlatform() : nullptr;
  if (!session.platform) return false;
  session.platform->initialise();
  const std::string list = buildAccessPathList(moduleFilePath(settings.moduleHandle));
  SetDLLAccessPath(list.c_str());
  return true;
}

bool isAudioPin(InputPin* pin) {
  char mimeType[kMimeBufferBytes] = {};
  pin->vtbl->getMimeType(pin, mimeType, kMimeBufferBytes);
  mimeType[kMimeBufferBytes - 1] = '\0';
  return std::strcmp(mimeType, kAudioMimeType) == 0;
}

bool enumeratorYieldedPin(int32_t result) { return !failed(result) && result != kResultNoMorePins; }

// Visits every pin the engine lists and keeps the last one whose MIME type is
// exactly the audio type in session.audioInput, with a reference of its own.
int32_t findAudioInput(BuildSession& session) {
  PinEnumerator* pins = nullptr;
  if (failed(session.engine->vtbl->getPinEnumerator(session.engine, &pins)) || !pins)
    return kResultNoInterface;

  bool queryFailed = false;
  UnknownObject* pinObject = nullptr;
  int32_t step = pins->vtbl->firstPin(pins, &pinObject);
  while (enumeratorYieldedPin(step) && !queryFailed) {
    InputPin* pin = nullptr;
    if (!pinObject || failed(queryInterface(pinObject, kIidInputPin, &pin)) || !pin) queryFailed = true;
    releaseInterface(pinObject);
    if (queryFailed) break;
    if (isAudioPin(pin)) {
      releaseInterface(session.audioInput);
      pin->vtbl->addRef(pin);
      session.audioInput = pin;
    }
    releaseInterface(pin);
    pinObject = nullptr;
    step = pins->vtbl->nextPin(pins, &pinObject);
  }
  releaseInterface(pins);

  if (!session.audioInput || queryFailed) {
    releaseInterface(session.audioInput);
    return kResultNoInterface;
  }
  return kResultOk;
}

void setCodingOptions(BuildSession& session, const EncoderSettings& settings) {
  BuildEngine* engine = session.engine;
  engine->vtbl->setContentTypeEnabled(engine, kAudioMimeType, 1);
  engine->vtbl->setRealTime(engine, 0);
  engine->vtbl->setMultiRate(engine, settings.sureStream);
}

int32_t obtainTargetSettings(BuildSession& session) {
  if (session.targetSettings) return kResultOk;
  UnknownObject* object = nullptr;
  int32_t result = session.engine->vtbl->getTargetSettingsObject(session.engine, &object);
  if (failed(result)) return result;
  if (!object) return kResultPointer;
  result = queryInterface(object, kIidTargetSettings, &session.targetSettings);
  releaseInterface(object);
  if (!failed(result) && !session.targetSettings) result = kResultPointer;
  return result;
}

void setTargets(BuildSession& session, const EncoderSettings& settings) {
  TargetSettings* targets = session.targetSettings;
  targets->vtbl->setAudioContent(targets, settings.audioFormat);
  targets->vtbl->clearTargetAudiences(targets);
  for (int audience = 0; audience < kAudienceSlots; ++audience)
    if (settings.targetAudiences[audience] != 0) targets->vtbl->addTargetAudience(targets, audience);
}

// Engine, audio input, options, clip texts, audiences.
int32_t setUpEngine(BuildSession& session, const char* fileName, const EncoderSettings& settings) {
  if (!session.engine) {
    int32_t created = RMACreateRMBuildEngine(&session.engine);
    if (failed(created) || !session.engine) {
      session.engine = nullptr;
      return failed(created) ? created : kResultPointer;
    }
  }
  int32_t result = findAudioInput(session);
  if (failed(result)) return result;
  setCodingOptions(session, settings);
  if (!session.clipProperties) {
    result = session.engine->vtbl->getClipProperties(session.engine, &session.clipProperties);
    if (failed(result) || !session.clipProperties) {
      session.clipProperties = nullptr;
      return failed(result) ? result : kResultPointer;
    }
  }
  setClipMetadata(session.clipProperties, clipTextsFor(fileName, settings.titleArtistOrder, currentLocalYear()));
  result = obtainTargetSettings(session);
  if (failed(result)) return result;
  setTargets(session, settings);
  return kResultOk;
}

// The class factory that will make the media sample, and the generator
// text. Never fails: a missing factory surfaces as kMediaSampleStep.
void setGeneratorText(BuildSession& session) {
  if (!session.sampleFactory) queryInterface(session.engine, kIidClassFactory, &session.sampleFactory);
  if (session.sampleFactory) setGeneratorProperty(session.engine);
}

// The audio input's format, then preparation.
BuildStartResult setInputFormatAndPrepare(BuildSession& session, int codedChannels,
                                          const EncoderSettings& settings) {
  PinProperties* pinProperties = nullptr;
  int32_t result = session.audioInput->vtbl->getPinProperties(session.audioInput, &pinProperties);
  if (failed(result) || !pinProperties) return failure(kPinPropertiesStep, result);

  AudioPinProperties* audio = nullptr;
  result = queryInterface(pinProperties, kIidAudioPinProperties, &audio);
  if (failed(result) || !audio) {
    releaseInterface(pinProperties);
    return failure(kAudioPropertiesStep, result);
  }
  audio->vtbl->setChannelCount(audio, static_cast<uint32_t>(codedChannels));
  audio->vtbl->setSampleRate(audio, static_cast<uint32_t>(settings.sampleRate));
  result = audio->vtbl->setSampleSize(audio, 16);
  releaseInterface(audio);
  releaseInterface(pinProperties);
  if (failed(result)) {
    releaseBuildInterfaces(session);
    return failure(kInputFormatStep, result);
  }
  result = session.engine->vtbl->prepareToEncode(session.engine);
  if (failed(result)) return failure(kInputFormatStep, result);
  return BuildStartResult();
}

// The one media sample that carries every chunk.
int32_t makeMediaSample(BuildSession& session) {
  if (session.mediaSample) return kResultOk;
  if (!session.sampleFactory) return kResultFail;
  void* made = nullptr;
  int32_t result = session.sampleFactory->vtbl->createInstance(session.sampleFactory, &kClsidMediaSample,
                                                               nullptr, &kIidMediaSample, &made);
  if (failed(result)) return result;
  if (!made) return kResultPointer;
  session.mediaSample = static_cast<MediaSample*>(made);
  return kResultOk;
}

// The preferred chunk size. A size of 0 could never carry audio,
// so it fails the step like a missing interface.
int32_t readChunkSize(BuildSession& session) {
  PinSizeInfo* sizeInfo = nullptr;
  int32_t result = queryInterface(session.audioInput, kIidPinSizeInfo, &sizeInfo);
  if (failed(result)) return result;
  if (!sizeInfo) return kResultPointer;
  sizeInfo->vtbl->getPreferredChunkBytes(sizeInfo, &session.chunkBytes);
  releaseInterface(sizeInfo);
  return session.chunkBytes == 0 ? kResultFail : kResultOk;
}

}  // namespace

BuildStartResult startBuildSession(BuildSession& session, const char* fileName, int codedChannels,
                                   const EncoderSettings& settings) {
  if (!preparePlatform(session, settings)) return failure(kPlatformStep, kResultFail);

  int32_t result = setUpEngine(session, fileName, settings);
  if (failed(result)) return failure(kEngineStep, result);

  result = session.clipProperties->vtbl->setOutputFile(session.clipProperties, fileName);
  if (failed(result)) return failure(kOutputFileStep, result);

  setGeneratorText(session);

  BuildStartResult prepared = setInputFormatAndPrepare(session, codedChannels, settings);
  if (!prepared.ok()) return prepared;

  result = makeMediaSample(session);
  if (failed(result)) return failure(kMediaSampleStep, result);

  result = readChunkSize(session);
  if (failed(result)) return failure(kChunkSizeStep, result);
  return BuildStartResult();
}

int32_t submitChunk(BuildSession& session, const void* chunk, uint32_t bytes, uint32_t timeMs) {
  if (!session.mediaSample || !session.audioInput) return kResultUnexpected;
  // A sample that refused its new contents still holds the previous chunk:
  // encoding it would repeat that chunk and lose this one. The refusal goes
  // to the caller like a refused chunk, which keeps the chunk for later.
  const int32_t filled = session.mediaSample->vtbl->setData(session.mediaSample, chunk, bytes, timeMs, 0);
  if (failed(filled)) return filled;
  return session.audioInput->vtbl->encode(session.audioInput, session.mediaSample);
}

int32_t finishBuildSession(BuildSession& session) {
  if (!session.engine) return kResultNoEngine;
  return session.engine->vtbl->endEncoding(session.engine);
}

void releaseBuildInterfaces(BuildSession& session) {
  releaseInterface(session.audioInput);
  releaseInterface(session.sampleFactory);
  releaseInterface(session.mediaSample);
}

void disposeBuildSession(BuildSession& session) {
  releaseInterface(session.mediaSample);
  releaseInterface(session.sampleFactory);
  releaseInterface(session.audioInput);
  releaseInterface(session.targetSettings);
  releaseInterface(session.clipProperties);
  releaseInterface(session.engine);
  delete session.platform;
  session.platform = nullptr;
  session.chunkBytes = 0;
}
