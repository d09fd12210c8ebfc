/* vornadel.h: the whole public interface of the engine */
#pragma once

#include "vorn-init.h"
#include "vorn-curve.h"
#include "vorn-attrib.h"
#include "vorn-aligned.h"
