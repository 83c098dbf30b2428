// SPDX-License-Identifier: Apache-2.0
// Text of an errno value for messages.
#pragma once

// strerror(error_number), or "undocumented error #<n>" in a static buffer when the
// platform has no text; never null, never to be freed.
const char *error_text(int error_number);
