#include "settings/encoder_settings.h"

// Statically initialised: these are the values before the first load, and
// the values a field keeps when the registry holds nothing for it.
EncoderSettings encoderSettings;
