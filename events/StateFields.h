#pragma once
// Saving a detector's state as text and reading it back from one description of its fields:
// each saved type lists its fields once, in `Fields(ar)`, and the writer and the reader walk
// that same list, so the two directions cannot drift apart. Numbers are separated by blanks
// and exact for every double (shortest round-trip form).

#include <array>
#include <charconv>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <type_traits>

class StateWriter {
public:
    template <class... T> void operator()(const T&... v) { (Put(v), ...); }
    std::string text;

private:
    void Num(double v) {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        text.append(buf, r.ptr);
        text += ' ';
    }
    void Int(int64_t v) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        text.append(buf, r.ptr);
        text += ' ';
    }
    template <class T> void Put(const T& v) {
        if constexpr (std::is_same_v<T, bool>)
            Int(v ? 1 : 0);
        else if constexpr (std::is_enum_v<T>)
            Int(static_cast<int64_t>(v));
        else if constexpr (std::is_floating_point_v<T>)
            Num(v);
        else if constexpr (std::is_integral_v<T>)
            Int(static_cast<int64_t>(v));
        else
            const_cast<T&>(v).Fields(*this); // Fields only reads when given a writer
    }
    template <class T> void Put(const std::optional<T>& v) {
        Int(v ? 1 : 0);
        Put(v.value_or(T{}));
    }
    template <class T> void Put(const std::deque<T>& v) {
        Int(static_cast<int64_t>(v.size()));
        for (const T& x : v)
            Put(x);
    }
    template <class T, std::size_t N> void Put(const std::array<T, N>& v) {
        for (const T& x : v)
            Put(x);
    }
};

class StateReader {
public:
    // No saved list is longer than this; a longer count is a text this did not write.
    static constexpr int64_t kMaxItems = 1 << 20;

    explicit StateReader(const std::string& t) : p_(t.data()), end_(t.data() + t.size()) {}
    template <class... T> void operator()(T&... v) { (Get(v), ...); }
    bool ok = true;
    bool AtEnd() {
        Skip();
        return p_ == end_;
    }

private:
    const char* p_;
    const char* end_;
    void Skip() {
        while (p_ != end_ && *p_ == ' ')
            ++p_;
    }
    template <class N> N Read() {
        N v = 0;
        Skip();
        auto r = std::from_chars(p_, end_, v);
        if (r.ec != std::errc())
            ok = false;
        else
            p_ = r.ptr;
        return v;
    }
    template <class T> void Get(T& v) {
        if constexpr (std::is_same_v<T, bool>)
            v = Read<int64_t>() != 0;
        else if constexpr (std::is_enum_v<T>)
            v = static_cast<T>(Read<int64_t>());
        else if constexpr (std::is_floating_point_v<T>)
            v = Read<double>();
        else if constexpr (std::is_integral_v<T>)
            v = static_cast<T>(Read<int64_t>());
        else
            v.Fields(*this);
    }
    template <class T> void Get(std::optional<T>& v) {
        const bool has = Read<int64_t>() != 0;
        T x{};
        Get(x);
        v = has ? std::optional<T>(x) : std::nullopt;
    }
    template <class T> void Get(std::deque<T>& v) {
        const int64_t n = Read<int64_t>();
        v.clear();
        if (n < 0 || n > kMaxItems) {
            ok = false;
            return;
        }
        for (int64_t i = 0; ok && i < n; ++i) {
            T x{};
            Get(x);
            v.push_back(x);
        }
    }
    template <class T, std::size_t N> void Get(std::array<T, N>& v) {
        for (T& x : v)
            Get(x);
    }
};
