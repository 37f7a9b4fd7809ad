// A plain-text table for the terminal: a heading line and rows, each column
// as wide as its widest cell (in terminal columns, so that Chinese names
// line up), two spaces apart, numbers aligned to the right.
#pragma once

#include <string>
#include <vector>

namespace qmr4100::ctl {

enum class Align { Left, Right };

class Table {
 public:
  struct Column {
    std::string heading;
    Align align = Align::Left;
  };

  explicit Table(std::vector<Column> columns);

  // Missing cells are empty; extra ones are dropped.
  void Add(std::vector<std::string> row);
  bool Empty() const { return m_rows.empty(); }
  // Every line ends with a line feed; the last column has no padding.
  std::string Text() const;

 private:
  std::vector<Column> m_columns;
  std::vector<std::vector<std::string>> m_rows;
};

}  // namespace qmr4100::ctl
