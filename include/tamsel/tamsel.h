#pragma once

// Everything a client of the component needs.

#include "tamsel/compare.h"
#include "tamsel/error.h"
#include "tamsel/manager.h"
#include "tamsel/messages.h"
#include "tamsel/price_rule.h"
#include "tamsel/services.h"
#include "tamsel/validator.h"
#include "tamsel/variant.h"
