#pragma once
// The attributes under which the row kernels of every tile family are built.
// None of them changes a computed value: vector lanes keep the IEEE
// arithmetic of the scalar code (no reassociation; fp-contract=off restated,
// so no copy ever fuses a multiply-add). Every tile folder and this kit also
// build with -fno-math-errno (set in source/CMakeLists.txt): no kernel reads
// errno, and without it sqrt is the instruction and loops over it vectorise.
//
// - TILE_TARGET_CLONES builds AVX2 and SSE4.2 copies of a function beside
//   the baseline one, the best the processor runs chosen when the program
//   starts (the interleaved three-sample loops need the permutes of the
//   newer sets to vectorise). PELLUCINE_BASELINE_KERNELS builds only the
//   baseline copy, so that a test build, with -msse4.2 or without, can check
//   it on a machine that would pick the AVX2 one.
// - TILE_VECTOR_LOOP: -O2's cost model vectorises only loops whose trip
//   count is known; vect-cost-model=dynamic vectorises the row loops too.
// - TILE_ROW_KERNEL: both of the above for a tile's row kernel, and the
//   options under which GCC vectorises the kernels' selects:
//   no-trapping-math (both sides of a select may be computed in every lane;
//   the floating-point exception flags are never read); no-tree-pre and
//   no-thread-jumps (these passes turn the selects back into branches and
//   table reads into reads under a condition, which if-conversion cannot
//   undo, so the loop would stay scalar).
// - TILE_INLINE: the helpers a row kernel calls, compiled into each copy of
//   it. A kernel's pointers are __restrict (a curve table never lies in the
//   image).
// - TILE_EACH_SAMPLE, before the loop over a pixel's samples (its bound a
//   plain local, which the annotation needs): unrolled, it leaves the pixel
//   loop a single block that vectorises.
// - TILE_INLINE_LAMBDA, after the parameter list of a lambda that a row
//   kernel runs per pixel.
#if defined(__GNUC__) && !defined(__clang__)
#define TILE_VECTOR_LOOP __attribute__((optimize("vect-cost-model=dynamic")))
#define TILE_KERNEL_OPTIONS \
    optimize("fp-contract=off", "vect-cost-model=dynamic", "no-trapping-math", "no-tree-pre", "no-thread-jumps")
#if defined(__x86_64__) && !defined(PELLUCINE_BASELINE_KERNELS)
#define TILE_CLONE_TARGETS target_clones("avx2", "sse4.2", "default")
#define TILE_TARGET_CLONES __attribute__((TILE_CLONE_TARGETS))
#define TILE_ROW_KERNEL __attribute__((TILE_CLONE_TARGETS, TILE_KERNEL_OPTIONS))
#else
#define TILE_TARGET_CLONES
#define TILE_ROW_KERNEL __attribute__((TILE_KERNEL_OPTIONS))
#endif
#define TILE_INLINE inline __attribute__((always_inline))
#define TILE_EACH_SAMPLE _Pragma("GCC unroll 4")
#define TILE_INLINE_LAMBDA __attribute__((always_inline))
#else
#define TILE_VECTOR_LOOP
#define TILE_TARGET_CLONES
#define TILE_ROW_KERNEL
#define TILE_INLINE inline
#define TILE_EACH_SAMPLE
#define TILE_INLINE_LAMBDA
#endif
