#pragma once

// The layer shell's generated header names a parameter "namespace", a word
// C++ keeps for itself: it is renamed while the header is read, after what
// the header itself includes.
#include <stddef.h>
#include <stdint.h>
#include <wayland-client.h>

#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
