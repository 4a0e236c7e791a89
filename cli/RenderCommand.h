#pragma once

#include "cli/CliOptions.h"

// `render`: draws a design to PNG through the Qt backend. It lives in its own executable,
// hoopwatch-render, so that hoopwatch-cli itself loads no Qt library.
int runRender(ArgList args);
