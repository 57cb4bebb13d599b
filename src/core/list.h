// The system's one collection: a circular doubly linked list of element
// references with a count and one built-in iteration cursor.
//
// The ring, the cursor and the insertion modes behave exactly as the rest of
// the system expects (see list_add / list_next below). Nodes live in a
// std::list; the ring is its order with the end wrapping back to the head.
// An element is either owned by the list (added as a std::unique_ptr) or only
// referred to (added with add_ref, for example the driver entries, which
// belong to their drivers).
#pragma once

#include <cstdint>
#include <iterator>
#include <list>
#include <memory>
#include <new>

namespace tess {

template <typename T>
class List {
    struct Node {
        T* element = nullptr;
        std::unique_ptr<T> owner;  // set when the list owns the element
    };
    using NodeList = std::list<Node>;
    using NodeIt = typename NodeList::iterator;

  public:
    List() = default;
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    List(List&& other) noexcept { *this = std::move(other); }
    List& operator=(List&& other) noexcept {
        if (this != &other) {
            nodes_ = std::move(other.nodes_);
            cursor_ = nodes_.end();
            other.nodes_.clear();
            other.cursor_ = other.nodes_.end();
        }
        return *this;
    }

    // list_init: the list becomes empty. Owned elements are released with it.
    int init() {
        nodes_.clear();
        cursor_ = nodes_.end();
        return 0;
    }

    // list_add with an element the list owns. 0, or -8 when no node could
    // be allocated (the list is unchanged and the element is released).
    int add(std::unique_ptr<T> element, int32_t mode = 0) {
        T* raw = element.get();
        return insert(Node{raw, std::move(element)}, mode);
    }

    // list_add with an element that belongs to somebody else.
    int add_ref(T* element, int32_t mode = 0) { return insert(Node{element, nullptr}, mode); }

    // list_remove: the first node (from head) holding this element.
    // 0 when removed, -2 when empty or not found. An owned element is
    // released when free_element is set, otherwise handed to `taken`
    // (when given) or released as well: the list never leaks.
    int remove(const T* element, bool free_element = true, std::unique_ptr<T>* taken = nullptr) {
        if (nodes_.empty()) return -2;
        for (auto it = nodes_.begin(); it != nodes_.end(); ++it) {
            if (it->element != element) continue;
            std::unique_ptr<T> owner = std::move(it->owner);
            unlink(it);
            if (!free_element && taken) *taken = std::move(owner);
            return 0;
        }
        return -2;
    }

    // list_clear: 0 when nodes were removed, -2 when already empty.
    int clear() {
        if (nodes_.empty()) return -2;
        init();
        return 0;
    }

    // list_last: the last element, or nullptr when empty.
    T* last() const { return nodes_.empty() ? nullptr : nodes_.back().element; }

    // list_last with unlink for a list that owns its elements: the last node
    // leaves the list and its element goes to the caller. nullptr for an
    // empty list; a last node that only refers to its element is left in
    // place (nullptr as well; take_last_ref serves it), so nothing is lost.
    std::unique_ptr<T> take_last() {
        if (nodes_.empty() || !nodes_.back().owner) return nullptr;
        auto it = std::prev(nodes_.end());
        std::unique_ptr<T> owner = std::move(it->owner);
        unlink(it);
        return owner;
    }

    // list_last with unlink for a list of references (for example the queue
    // of fired AutoFSB presets): the last node leaves the list and its
    // element, which belongs to somebody else, is returned. nullptr for an
    // empty list; a last node that owns its element is left in place
    // (nullptr as well; take_last serves it), so no reference dangles.
    T* take_last_ref() {
        if (nodes_.empty() || nodes_.back().owner) return nullptr;
        T* element = nodes_.back().element;
        unlink(std::prev(nodes_.end()));
        return element;
    }

    // list_next: moves the cursor and returns its element, or nullptr.
    T* next(bool backward = false, bool stop_at_wrap = true) {
        if (nodes_.empty()) return nullptr;
        if (cursor_ == nodes_.end()) {
            cursor_ = backward ? std::prev(nodes_.end()) : nodes_.begin();
            return cursor_->element;
        }
        if (!backward) {
            ++cursor_;
            if (cursor_ == nodes_.end()) {
                if (stop_at_wrap) return nullptr;  // cursor is none again
                cursor_ = nodes_.begin();
            }
        } else {
            if (cursor_ == nodes_.begin()) {
                if (stop_at_wrap) {
                    cursor_ = nodes_.end();
                    return nullptr;
                }
                cursor_ = std::prev(nodes_.end());
            } else {
                --cursor_;
            }
        }
        return cursor_->element;
    }

    // Starts a fresh walk: the cursor becomes none.
    void rewind() { cursor_ = nodes_.end(); }

    uint32_t count() const { return static_cast<uint32_t>(nodes_.size()); }
    bool empty() const { return nodes_.empty(); }
    T* first() const { return nodes_.empty() ? nullptr : nodes_.front().element; }
    // The element under the cursor, or nullptr when no walk is under way.
    T* cursor() const { return cursor_ == nodes_.end() ? nullptr : cursor_->element; }

    // Plain iteration over the elements in ring order from head; it does not
    // touch the cursor, so it may run inside a cursor walk.
    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T**;
        using reference = T*;
        const_iterator() = default;
        explicit const_iterator(typename NodeList::const_iterator it) : it_(it) {}
        T* operator*() const { return it_->element; }
        const_iterator& operator++() {
            ++it_;
            return *this;
        }
        const_iterator operator++(int) {
            auto old = *this;
            ++it_;
            return old;
        }
        bool operator==(const const_iterator& o) const { return it_ == o.it_; }

      private:
        typename NodeList::const_iterator it_;
    };
    const_iterator begin() const { return const_iterator(nodes_.cbegin()); }
    const_iterator end() const { return const_iterator(nodes_.cend()); }

  private:
    int insert(Node node, int32_t mode) {
        try {
            if (nodes_.empty()) {
                nodes_.push_back(std::move(node));
                cursor_ = nodes_.end();
                return 0;
            }
            if (mode < 2 || cursor_ == nodes_.end()) {
                // before head, i.e. at the end of the ring; a mode other
                // than 0 makes the new node the head
                if (mode == 0)
                    nodes_.push_back(std::move(node));
                else
                    nodes_.push_front(std::move(node));
            } else if (mode == 2) {
                nodes_.insert(std::next(cursor_), std::move(node));
            } else if (cursor_ == nodes_.begin()) {
                // before the head node: it becomes the last node
                nodes_.push_back(std::move(node));
            } else {
                nodes_.insert(cursor_, std::move(node));
            }
            return 0;
        } catch (const std::bad_alloc&) {
            return -8;
        }
    }

    // list_unlink: the cursor on the removed node moves to the next node
    // in the ring (also during a backward walk).
    void unlink(NodeIt it) {
        if (nodes_.size() <= 1) {
            init();
            return;
        }
        const bool at_cursor = (it == cursor_);
        auto after = nodes_.erase(it);
        if (at_cursor) cursor_ = (after == nodes_.end()) ? nodes_.begin() : after;
    }

    NodeList nodes_;
    NodeIt cursor_ = nodes_.end();
};

}  // namespace tess
