/* vornadel.h: the whole public interface of the engine */
#pragma once

#include "vorn-init.h"
#include "vorn-list.h"
#include "vorn-value.h"
#include "vorn-node.h"
#include "vorn-file.h"
#include "vorn-list.h"
#include "vorn-value.h"
#include "vorn-curve.h"
#include "vorn-attrib.h"
#include "vorn-aligned.h"
#include "vorn-cpu.h"
#include "vorn-msg-queue.h"
#include "vorn-thread-pit.h"
#include "vorn-curve-cache.h"
#include "vorn-morph.h"
