#pragma once
// Which way the streams of a waterfall run. Only `columns` is told apart: every other
// value lays the streams out as rows.

enum class WaterfallLayoutDirection : long { columns = 0, rows = 1 };
