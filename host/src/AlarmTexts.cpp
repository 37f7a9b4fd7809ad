#include "host/AlarmTexts.h"

#include <functional>
#include <mutex>
#include <unordered_set>

namespace {

struct TextsHash {
  std::size_t operator()(const AlarmTexts& t) const {
    const std::hash<std::string> hash;
    std::size_t h = hash(t.id);
    for (const std::string* text : {&t.code, &t.name, &t.desc}) h = h * 31 + hash(*text);
    return h;
  }
};

struct TextsEqual {
  bool operator()(const AlarmTexts& a, const AlarmTexts& b) const {
    return a.id == b.id && a.code == b.code && a.name == b.name && a.desc == b.desc;
  }
};

class InternTable {
 public:
  const AlarmTexts* Intern(AlarmTexts texts) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Set elements never move, so their addresses stay valid.
    return &*m_texts.insert(std::move(texts)).first;
  }

 private:
  std::mutex m_mutex;
  std::unordered_set<AlarmTexts, TextsHash, TextsEqual> m_texts;
};

InternTable& intern_table() {
  // Never destroyed: a worker may still read evaluations while the process exits.
  static InternTable* table = new InternTable;
  return *table;
}

bool same_texts(const AlarmTexts& texts, const std::string& id, const std::string& code,
                const std::string& name, const std::string& desc) {
  return texts.id == id && texts.code == code && texts.name == name && texts.desc == desc;
}

}  // namespace

const AlarmTexts* InternAlarmTexts(const std::string& id, const std::string& code,
                                   const std::string& name, const std::string& desc) {
  return intern_table().Intern(AlarmTexts{id, code, name, desc});
}

const AlarmTexts* NoAlarmTexts() {
  static const AlarmTexts* none = InternAlarmTexts({}, {}, {}, {});
  return none;
}

const AlarmTexts* ReportedTexts::At(std::size_t position, const std::string& id,
                                    const std::string& code, const std::string& name,
                                    const std::string& desc) {
  if (position >= m_byPosition.size()) m_byPosition.resize(position + 1, nullptr);
  const AlarmTexts*& known = m_byPosition[position];
  if (known == nullptr || !same_texts(*known, id, code, name, desc))
    known = InternAlarmTexts(id, code, name, desc);
  return known;
}
