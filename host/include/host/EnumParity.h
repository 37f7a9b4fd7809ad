#pragma once

enum class EnumParity { None, Odd, Even, Mark, Space };
