/* vornadel.h: the whole public interface of the engine */
#pragma once

#include "vorn-init.h"
#include "vorn-node.h"
#include "vorn-file.h"
#include "vorn-list.h"
#include "vorn-value.h"
#include "vorn-curve.h"
#include "vorn-curve-trans.h"
#include "vorn-geometry.h"
#include "vorn-attrib.h"
#include "vorn-cpu.h"
#include "vorn-curve-cache.h"
#include "vorn-morph.h"
#include "vorn-gen.h"
#include "vorn-wave.h"
#include "vorn-filter-rbj.h"
#include "vorn-filter-noise.h"
#include "vorn-queue.h"
#include "vorn-synth.h"
#include "vorn-synth-msg.h"
#include "vorn-synth-gi.h"
#include "vorn-mix.h"
#include "vorn-inst.h"
#include "vorn-synth-cpu.h"
#include "vorn-tap.h"
#include "vorn-input-manager.h"
#include "vorn-audio-driver.h"
#include "vorn-audio-driver-port.h"
#include "vorn-audio-driver-jack.h"
#include "vorn-midi-driver.h"
#include "vorn-midi-driver-alsa.h"
#include "vorn-midi-driver-jack.h"

/* Render internals for the engine's own tests and benchmarks, which are
 * built with this macro defined; these headers are not installed. */
#ifdef VORN_IN_TREE_INTERNALS
#include "vorn-aligned.h"
#include "vorn-msg-queue.h"
#include "vorn-thread-pit.h"
#include "vorn-wave-gen.h"
#endif
