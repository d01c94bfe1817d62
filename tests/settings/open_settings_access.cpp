// These test programs link the settings code itself, without the library
// entry that opens its locks: they are opened before any test runs.
#include "settings/settings_access.h"

namespace {

[[maybe_unused]] const bool opened = openSettingsAccess();

}  // namespace
