#pragma once

// Not built: a tree in which link/ reaches up into the settings, for check-layers to refuse.
#include <QString>

#include "app/ConfigFile.h"
