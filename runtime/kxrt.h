// Everything a translated program calls.
#pragma once

#include "console/console.h"
#include "files/files.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "host/host.h"
#include "strings/strings.h"
