#pragma once
// The one way this module includes the interpreter's headers.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
