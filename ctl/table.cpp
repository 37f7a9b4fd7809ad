#include "table.h"

#include <algorithm>

#include "text_width.h"

namespace qmr4100::ctl {
namespace {

constexpr const char* kGap = "  ";

void put_cell(std::string& out, const std::string& cell, std::size_t width, Align align,
              bool last) {
  const std::size_t padding = width - std::min(width, display_width(cell));
  if (align == Align::Right) out.append(padding, ' ');
  out += cell;
  if (align == Align::Left && !last) out.append(padding, ' ');
}

}  // namespace

Table::Table(std::vector<Column> columns) : m_columns(std::move(columns)) {}

void Table::Add(std::vector<std::string> row) {
  row.resize(m_columns.size());
  m_rows.push_back(std::move(row));
}

std::string Table::Text() const {
  std::vector<std::size_t> widths;
  for (const Column& column : m_columns) widths.push_back(display_width(column.heading));
  for (const auto& row : m_rows)
    for (std::size_t i = 0; i < row.size(); ++i)
      widths[i] = std::max(widths[i], display_width(row[i]));

  std::string out;
  const auto put_line = [&](const auto& cell_of) {
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
      if (i > 0) out += kGap;
      put_cell(out, cell_of(i), widths[i], m_columns[i].align, i + 1 == m_columns.size());
    }
    // Empty cells at the end of a row leave no blanks behind.
    out.erase(out.find_last_not_of(' ') + 1);
    out += '\n';
  };
  put_line([&](std::size_t i) -> const std::string& { return m_columns[i].heading; });
  for (const auto& row : m_rows)
    put_line([&](std::size_t i) -> const std::string& { return row[i]; });
  return out;
}

}  // namespace qmr4100::ctl
