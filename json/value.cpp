#include "json/value.h"

#include "report/failure.h"

namespace mv::json {

Map::Map() = default;
Map::~Map() = default;
Map::Map(const Map&) = default;
Map::Map(Map&&) noexcept = default;
Map& Map::operator=(const Map&) = default;
Map& Map::operator=(Map&&) noexcept = default;

void Map::add(std::u16string name, Value value) {
    if (m_index.count(name) != 0) {
        throw report::Failure(report::FailureKind::InvalidArgument, "duplicate member name");
    }
    m_index.emplace(name, m_members.size());
    m_members.push_back(Member{std::move(name), std::move(value)});
}

const Value* Map::find(const std::u16string& name) const {
    auto it = m_index.find(name);
    return it == m_index.end() ? nullptr : &m_members[it->second].value;
}

bool operator==(const Map& a, const Map& b) {
    return a.m_members == b.m_members;
}

}  // namespace mv::json
