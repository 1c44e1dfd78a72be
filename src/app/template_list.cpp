#include "app/template_list.h"

#include <algorithm>
#include <string>

namespace qx::app {

void TemplateList::SetInstalled(std::vector<Text> names) {
    m_items.clear();
    for (auto& n : names) m_items.push_back({std::move(n), false});
    m_selected.clear();
    m_current = -1;
}

void TemplateList::RestoreSelection(const Text& setting) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = setting.find('|', start);
        const Text part = setting.substr(start, bar == Text::npos ? Text::npos : bar - start);
        if (!part.empty()) {
            for (auto& item : m_items) {
                if (item.name == part && !item.ticked) {
                    item.ticked = true;
                    m_selected.push_back(part);
                    break;
                }
            }
        }
        if (bar == Text::npos) break;
        start = bar + 1;
    }
    m_numberText = std::to_string(m_selected.size());
    AutoOrder();
}

int TemplateList::NumberOf(const Text& name) const {
    const auto it = std::find(m_selected.begin(), m_selected.end(), name);
    return it == m_selected.end() ? 0 : static_cast<int>(it - m_selected.begin()) + 1;
}

void TemplateList::UpdateOrderButtons(int n) {
    if (n == 0) {
        m_plus = m_minus = m_front = m_back = false;
        return;
    }
    m_minus = m_front = n != 1;
    m_plus = m_back = n != static_cast<int>(m_selected.size());
}

void TemplateList::TickChanged(int item, bool ticked) {
    if (item < 0 || item >= AvailableCount()) return;
    auto& it = m_items[static_cast<std::size_t>(item)];
    it.ticked = ticked;
    m_current = item;
    if (ticked) {
        m_selected.push_back(it.name);
        m_numberText = std::to_string(m_selected.size());
        UpdateOrderButtons(static_cast<int>(m_selected.size()));
        m_numberVisible = true;
    } else {
        const auto found = std::find(m_selected.begin(), m_selected.end(), it.name);
        if (found != m_selected.end()) m_selected.erase(found);
        UpdateOrderButtons(0);
        m_numberVisible = false;
    }
    m_autoOrder = true;
}

void TemplateList::CurrentChanged(int item) {
    m_current = item;
    if (item >= 0 && item < AvailableCount() && m_items[static_cast<std::size_t>(item)].ticked) {
        const int n = NumberOf(m_items[static_cast<std::size_t>(item)].name);
        m_numberText = std::to_string(n);
        UpdateOrderButtons(n);
        m_numberVisible = true;
    } else {
        UpdateOrderButtons(0);
        m_numberVisible = false;
    }
}

void TemplateList::AutoOrder() {
    for (std::size_t k = 0; k < m_selected.size(); ++k) {
        const auto found = std::find_if(m_items.begin(), m_items.end(),
                                        [&](const Item& i) { return i.name == m_selected[k]; });
        if (found == m_items.end()) continue;
        Item moved = *found;
        m_items.erase(found);
        moved.ticked = true;
        m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(std::min(k, m_items.size())), moved);
    }
    m_autoOrder = false;
}

void TemplateList::AfterMove(int newNumber) {
    m_numberText = std::to_string(newNumber);
    UpdateOrderButtons(newNumber);
    AutoOrder();
    m_current = newNumber - 1;
}

// The order buttons act on the number shown, and only when it names an
// entry of the selection.
void TemplateList::MinusOne() {
    const int n = std::atoi(m_numberText.c_str());
    if (n < 2 || n > SelectedCount()) return;
    std::swap(m_selected[static_cast<std::size_t>(n - 2)], m_selected[static_cast<std::size_t>(n - 1)]);
    AfterMove(n - 1);
}

void TemplateList::PlusOne() {
    const int n = std::atoi(m_numberText.c_str());
    if (n < 1 || n >= SelectedCount()) return;
    std::swap(m_selected[static_cast<std::size_t>(n - 1)], m_selected[static_cast<std::size_t>(n)]);
    AfterMove(n + 1);
}

void TemplateList::ToFront() {
    const int n = std::atoi(m_numberText.c_str());
    if (n < 1 || n > SelectedCount()) return;
    Text moved = m_selected[static_cast<std::size_t>(n - 1)];
    m_selected.erase(m_selected.begin() + (n - 1));
    m_selected.insert(m_selected.begin(), moved);
    AfterMove(1);
}

void TemplateList::ToBack() {
    const int n = std::atoi(m_numberText.c_str());
    if (n < 1 || n > SelectedCount()) return;
    Text moved = m_selected[static_cast<std::size_t>(n - 1)];
    m_selected.erase(m_selected.begin() + (n - 1));
    m_selected.push_back(moved);
    AfterMove(SelectedCount());
}

}  // namespace qx::app
