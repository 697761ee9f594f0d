#pragma once
// Counts the table handlers running, so that a handler run from inside another (through a
// focus change or a message box) can tell it is nested.
struct HandlerGuard {
    explicit HandlerGuard(int& depth) : m_depth(depth) { ++m_depth; }
    ~HandlerGuard() { --m_depth; }
    HandlerGuard(const HandlerGuard&) = delete;
    HandlerGuard& operator=(const HandlerGuard&) = delete;
    int& m_depth;
};
