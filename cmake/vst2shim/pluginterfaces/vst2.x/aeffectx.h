#pragma once
#include "fst_patched.h"
