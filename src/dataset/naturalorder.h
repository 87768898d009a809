#pragma once

#include <QString>

#include <cstddef>

// Natural order of file names, as file managers sort them: runs of digits compare as numbers
// (img2 before img10), letters without regard to ASCII case. Names equal that way (img01 and
// img1, A and a) still get a fixed order: fewer leading zeros first, then by their characters.
namespace natural {

namespace detail {

template<typename Char>
inline unsigned code(Char c)
{
    return unsigned(c);
}
inline unsigned code(char c)
{
    return unsigned(static_cast<unsigned char>(c));
}
inline unsigned code(QChar c)
{
    return c.unicode();
}

inline bool isDigit(unsigned c)
{
    return c >= '0' && c <= '9';
}
inline unsigned folded(unsigned c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

} // namespace detail

// <0, 0 or >0 as `a` sorts before, with or after `b`.
template<typename Char>
int compare(const Char *a, size_t na, const Char *b, size_t nb)
{
    using detail::code;
    using detail::folded;
    using detail::isDigit;
    size_t i = 0, j = 0;
    int tie = 0; // the first difference that only the fixed order decides
    while (i < na && j < nb) {
        const unsigned ca = code(a[i]), cb = code(b[j]);
        if (isDigit(ca) && isDigit(cb)) {
            size_t zi = i, zj = j;
            while (zi < na && code(a[zi]) == '0')
                ++zi;
            while (zj < nb && code(b[zj]) == '0')
                ++zj;
            size_t ei = zi, ej = zj;
            while (ei < na && isDigit(code(a[ei])))
                ++ei;
            while (ej < nb && isDigit(code(b[ej])))
                ++ej;
            // More significant digits make the larger number; equal lengths compare digit by
            // digit.
            if (ei - zi != ej - zj)
                return ei - zi < ej - zj ? -1 : 1;
            for (size_t k = 0; k < ei - zi; ++k) {
                const unsigned da = code(a[zi + k]), db = code(b[zj + k]);
                if (da != db)
                    return da < db ? -1 : 1;
            }
            if (tie == 0 && zi - i != zj - j)
                tie = zi - i < zj - j ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        if (ca != cb) {
            const unsigned fa = folded(ca), fb = folded(cb);
            if (fa != fb)
                return fa < fb ? -1 : 1;
            if (tie == 0)
                tie = ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < na || j < nb)
        return i < na ? 1 : -1;
    return tie;
}

inline int compare(const QString &a, const QString &b)
{
    return compare(a.constData(), size_t(a.size()), b.constData(), size_t(b.size()));
}

inline bool less(const QString &a, const QString &b)
{
    return compare(a, b) < 0;
}

} // namespace natural
