// LockedList: an indexed doubly linked list guarded by its own lock, with a cursor at the node last found
// so that the sequential lookups of playback cost one step each.
//
// Indexes run 0 .. Count()-1 in append order. A lookup of a missing index throws ListIndexError; that
// exception never leaves the file manager, whose public operations turn it into a result of 0.
// The lock is held only for the one list operation; a visitor passed to Visit() or FindLast() runs under
// it and must not take another lock.
#ifndef REELDECK_CORE_LOCKED_LIST_H
#define REELDECK_CORE_LOCKED_LIST_H

#include <cstddef>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace reeldeck {

class ListIndexError : public std::out_of_range {
  public:
    ListIndexError() : std::out_of_range("list index out of range") {}
};

template <typename T>
class LockedList {
  public:
    LockedList() = default;
    ~LockedList() { Clear(); }
    LockedList(const LockedList&) = delete;
    LockedList& operator=(const LockedList&) = delete;

    // Appends `element`; its index is the count before the append, which is returned.
    std::size_t Append(T element) {
        auto node = std::make_unique<Node>(Node{0, std::move(element), nullptr, nullptr});
        std::lock_guard<std::mutex> hold(lock_);
        node->index = count_;
        Node* raw = node.release();
        if (tail_ != nullptr) {
            tail_->next = raw;
        } else {
            head_ = raw;
        }
        raw->previous = tail_;
        tail_ = raw;
        return count_++;
    }

    std::size_t Count() const {
        std::lock_guard<std::mutex> hold(lock_);
        return count_;
    }

    // Deletes every element.
    void Clear() {
        std::lock_guard<std::mutex> hold(lock_);
        Node* node = head_;
        while (node != nullptr) {
            Node* next = node->next;
            delete node;
            node = next;
        }
        head_ = tail_ = cursor_ = nullptr;
        count_ = 0;
    }

    // A copy of the element at `index`; throws ListIndexError when there is none.
    T At(std::size_t index) const {
        std::lock_guard<std::mutex> hold(lock_);
        return Find(index)->element;
    }

    // Calls visit(element&) under the lock; throws ListIndexError when there is no such index.
    template <typename Visitor>
    decltype(auto) Visit(std::size_t index, Visitor&& visit) {
        std::lock_guard<std::mutex> hold(lock_);
        return std::forward<Visitor>(visit)(Find(index)->element);
    }

    // The index of the last element for which atOrBefore(element) is true, for a predicate that is true
    // on a leading run of the list and false after it. The walk starts at the cursor and goes forward or
    // backward from there, so a target near the last one found costs a step or two; the node found
    // becomes the cursor. When the predicate is false everywhere the result is 0 (the head); throws
    // ListIndexError on an empty list.
    template <typename Predicate>
    std::size_t FindLast(Predicate&& atOrBefore) {
        std::lock_guard<std::mutex> hold(lock_);
        Node* node = cursor_ != nullptr ? cursor_ : head_;
        if (node == nullptr) throw ListIndexError();
        if (atOrBefore(static_cast<const T&>(node->element))) {
            while (node->next != nullptr && atOrBefore(static_cast<const T&>(node->next->element)))
                node = node->next;
        } else {
            while (node->previous != nullptr) {
                node = node->previous;
                if (atOrBefore(static_cast<const T&>(node->element))) break;
            }
        }
        cursor_ = node;
        return node->index;
    }

  private:
    struct Node {
        std::size_t index;
        T element;
        Node* previous;
        Node* next;
    };

    // Walks from the cursor toward `index` for at most count_ steps, then falls back to a scan from the
    // head; the node found becomes the cursor. The caller holds lock_.
    Node* Find(std::size_t index) const {
        Node* node = cursor_;
        for (std::size_t steps = 0; node != nullptr && node->index != index && steps < count_; ++steps)
            node = index < node->index ? node->previous : node->next;
        if (node == nullptr || node->index != index) {
            node = head_;
            while (node != nullptr && node->index != index) node = node->next;
        }
        if (node == nullptr) throw ListIndexError();
        cursor_ = node;
        return node;
    }

    mutable std::mutex lock_;  // guards every field below and the elements' nodes
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    mutable Node* cursor_ = nullptr;
    std::size_t count_ = 0;
};

}  // namespace reeldeck

#endif
