// What a correct Direct3D 9 implementation may return other than the exact
// arithmetic of the effect: how each render target may round, and how far
// each step of the shaders may stray. This is the one statement of it; the
// reference model widens its answer by exactly these allowances, and
// filterhost --verify, the soak test and the Windows-side tests judge the
// plug-in by the model's answer, so none of them keeps a tolerance of its own.
//
// Arithmetic. ps_2_0 asks for "full precision" without a figure; every card
// with a current Windows driver runs ps_2_0 on the single-precision units of
// Direct3D 10 and later, whose rules bound an add or a multiply by one unit
// in the last place (Direct3D 11 tightens it to half a unit). The sampler's
// conversion of an integer texel to float counts as one such step. log and
// exp are documented with 21 bits of precision: log2 to 2^-21 absolutely
// near 1 (relatively beyond |log2 x| = 1), exp2 to 2^-21 relatively.
//
// Cards with 24-bit pixel arithmetic (the first ps_2_0 generation, and the
// least precision ps_2_0 allows: 1 sign, 7 exponent and 16 mantissa bits)
// are held to float24Errors instead: one unit in the last place of such a
// float for every step, log and exp included. The checks on the tests'
// renderer keep conformantErrors. The reference tests run every 16-bit word of U16,
// S16 and U10, at identity and under two strong settings, through the
// model's loose cards: those whose sampler is one or two float steps off
// must answer within the model's range under conformantErrors, those with
// 24-bit arithmetic within it under float24Errors. At identity that is
// within a unit of the model in U16 and S16 and a code in U10; a gamma
// below 1 magnifies a 24-bit card's error near black as it does any input
// error there. No answer lies at the other end of the range: every decision
// of the integer techniques (which word was negative, which result wraps,
// where Y12 splits) lies half a step between two valid codes, where errors
// of these sizes cannot move it.
//
// Targets. Float to UNORM and SNORM rounds to nearest within 0.6 of a step.
// Float to binary16 may truncate (the rule of Direct3D 10's format
// conversions, and what Mesa's software renderer under Wine does) or round to nearest
// even (what most cards do). The 10-bit fields of A2B10G10R10 may be rounded
// to nearest or toward zero; Mesa's software renderer rounds to 16 bits first
// and keeps the top ten, which lands up to a step above the nearest near
// the top of the range, so that rule is accepted too.
#pragma once

#include "core/texel_rules.h"  // HalfRounding, Unorm10Rule

// Every rounding a correct card may use for a target whose texel rule has
// that choice (TexelRule::halfRoundings, TexelRule::unorm10Roundings).
constexpr HalfRounding conformantHalfRoundings[] = {HalfRounding::towardZero,
                                                    HalfRounding::nearestEven};
constexpr Unorm10Rule conformantUnorm10Rules[] = {Unorm10Rule::nearest, Unorm10Rule::towardZero,
                                                  Unorm10Rule::fromUnorm16};

// Error bounds of the shader's steps and of the normalised targets.
struct GpuErrorBounds {
    double operation;        // relative error of one add, multiply or sampler conversion
    double log2Error;        // log: absolute for |log2 x| <= 1, relative beyond
    double exp2Error;        // exp: relative
    double normTargetSteps;  // how far from v * (2^n - 1) a UNORM or SNORM target may store
};

constexpr GpuErrorBounds conformantErrors = {
    0x1p-23,  // one unit in the last place of a float in [1, 2)
    0x1p-21,
    0x1p-21,
    0.6,
};

// What a card with 24-bit floats may lose in each step.
constexpr GpuErrorBounds float24Errors = {0x1p-16, 0x1p-16, 0x1p-16, 0.6};

// Exact arithmetic and exact rounding: what is left is the targets' choice
// of rounding alone.
constexpr GpuErrorBounds exactArithmetic = {0.0, 0.0, 0.0, 0.5};
