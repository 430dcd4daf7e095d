#pragma once
#include "support/lookup_fixtures.h"  // the fixtures live there
