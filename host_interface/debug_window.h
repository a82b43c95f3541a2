// The plug-in's debug window: the plug-in writes it, and filterhost and the
// tests find it by its title and read its text back after each frame
// (host/reports/stage_summary.h). Its text, after the first frame:
//   Size :1920x1080(F32)\r\n
//   Alloc:1.23456E-002\r\n      (Alloc or Param only on frames that allocate or set parameters)
//   Put  :2.50000E-003\r\n
//   Proc :...\r\n
//   Get  :...\r\n
// The window's title is its text, so "Debug KELVO" shows only until the
// first frame.
#pragma once

#include <cstddef>

// Spelled once, as narrow literals: the host's portable parser reads them
// as they are, and the window calls take them widened (L"" KELVO_...).
#define KELVO_DEBUG_WINDOW_TITLE "Debug KELVO"
#define KELVO_DEBUG_SIZE_LINE_START "Size :"  // then WIDTHxHEIGHT(format tag)
#define KELVO_DEBUG_LINE_END "\r\n"

constexpr wchar_t debugWindowTitle[] = L"" KELVO_DEBUG_WINDOW_TITLE;
constexpr wchar_t debugSizeLineStart[] = L"" KELVO_DEBUG_SIZE_LINE_START;
constexpr size_t debugSizeLineStartLength = sizeof(KELVO_DEBUG_SIZE_LINE_START) - 1;

// A stage line is its label, ':' and the stage's seconds. The labels are
// padded to five characters so that the times line up in the window's fixed
// font; "Init" marks the frame's start and is never shown.
constexpr wchar_t stageInit[] = L"Init";
constexpr wchar_t stageAlloc[] = L"Alloc";
constexpr wchar_t stageParam[] = L"Param";
constexpr wchar_t stagePut[] = L"Put  ";
constexpr wchar_t stageProc[] = L"Proc ";
constexpr wchar_t stageGet[] = L"Get  ";
