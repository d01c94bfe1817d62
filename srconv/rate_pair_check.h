#pragma once

#include <string>

#include "pcm_format.h"

// Why the converter would refuse this input format and output rate, as one
// line of text, or "" when it accepts them. Lets srconv tell a refused pair
// (exit 2) apart from a configure that failed for lack of memory (exit 3).
//
// The converter supports 8-, 16- and 24-bit samples and the rate pairs whose
// reduced factor k (the reduced input rate when up-sampling, the reduced
// output rate otherwise) is 1, even or a multiple of 3; its intermediate
// rates must fit a signed 32-bit int, and up-sampling may raise the rate at
// most kMaxUpsamplingRatio times (counting the oversampling).
std::string refusalReason(const PcmFormat& input, int outputRate);
