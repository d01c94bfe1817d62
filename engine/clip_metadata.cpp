#include "engine/clip_metadata.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Offset of the file name within path: just after the last backslash or slash.
size_t fileNameStart(const std::string& path) {
  size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace

TitleArtistParts splitTitleArtist(const char* path) {
  TitleArtistParts parts;
  if (!path) return parts;
  const std::string full(path);
  const std::string name = full.substr(fileNameStart(full));
  const size_t dash = name.rfind('-');
  if (dash == std::string::npos) return parts;

  parts.first = name.substr(0, dash);
  if (!parts.first.empty() && parts.first.back() == ' ') parts.first.pop_back();

  size_t secondStart = dash + 1;
  if (secondStart < name.size() && name[secondStart] == ' ') ++secondStart;
  size_t secondEnd = name.rfind('.');
  if (secondEnd == std::string::npos || secondEnd < dash) secondEnd = name.size();
  if (secondEnd > secondStart) parts.second = name.substr(secondStart, secondEnd - secondStart);
  return parts;
}

std::string formatCopyright(int32_t year) {
  // The engine's field holds at most 11 characters; any real year fits.
  char text[32];
  std::snprintf(text, sizeof text, "(c)%ld", static_cast<long>(year));
  return std::string(text).substr(0, 11);
}

ClipTexts clipTextsFor(const char* fileName, int titleArtistOrder, int32_t year) {
  TitleArtistParts parts = splitTitleArtist(fileName);
  const bool artistFirst = titleArtistOrder == 0;
  ClipTexts texts;
  texts.title = std::move(artistFirst ? parts.second : parts.first);
  texts.artist = std::move(artistFirst ? parts.first : parts.second);
  texts.copyright = formatCopyright(year);
  return texts;
}

void setClipMetadata(ClipProperties* clip, const ClipTexts& texts) {
  if (!clip) return;
  clip->vtbl->setTitle(clip, texts.title.c_str());
  clip->vtbl->setAuthor(clip, texts.artist.c_str());
  clip->vtbl->setCopyright(clip, texts.copyright.c_str());

  clip->vtbl->setRecordable(clip, 1);
  clip->vtbl->setSelectiveRecord(clip, 1);
  clip->vtbl->setMobilePlay(clip, 0);
  clip->vtbl->setLiveBroadcast(clip, 0);
  clip->vtbl->setPerfectPlay(clip, 1);
}

int32_t setGeneratorProperty(BuildEngine* engine) {
  if (!engine) return kResultNoEngine;
  MetadataSource* source = nullptr;
  PropertySet* properties = nullptr;
  int32_t result = queryInterface(engine, kIidMetadataSource, &source);
  if (!failed(result) && !source) result = kResultPointer;
  if (!failed(result)) {
    result = source->vtbl->getPropertySet(source, &properties);
    if (!failed(result) && !properties) result = kResultPointer;
    if (failed(result)) properties = nullptr;
  }
  if (!failed(result))
    result = setStringProperty(engine, properties, kGeneratorPropertyName, kGeneratorText);
  releaseInterface(source);
  releaseInterface(properties);
  return result;
}

int32_t setStringProperty(BuildEngine* engine, PropertySet* propertySet, const char* name, const char* text) {
  if (!propertySet || !name || !text) return kResultPointer;
  if (!engine) return kResultNoEngine;
  ClassFactory* factory = nullptr;
  ValueBuffer* value = nullptr;
  int32_t result = queryInterface(engine, kIidClassFactory, &factory);
  if (!failed(result) && !factory) result = kResultPointer;
  if (!failed(result)) {
    void* made = nullptr;
    result = factory->vtbl->createInstance(factory, &kClsidValueBuffer, nullptr, &kIidValueBuffer, &made);
    if (!failed(result)) value = static_cast<ValueBuffer*>(made);
    if (!failed(result) && !value) result = kResultPointer;
  }
  if (!failed(result)) {
    value->vtbl->setBytes(value, text, static_cast<uint32_t>(std::strlen(text) + 1));
    result = propertySet->vtbl->setBufferProperty(propertySet, name, value);
  }
  releaseInterface(value);
  releaseInterface(factory);
  return result;
}
