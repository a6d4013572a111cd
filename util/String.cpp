// String and Regexp: the position-aware searches and cuts of the utility
// library's text class, on std::string and std::regex.
#include <Lmr_Util/String.h>

#include <cctype>
#include <cstring>
#include <stdexcept>

Regexp::Regexp(const char *pattern) : pattern_(pattern ? pattern : ""), expression_(pattern_) {}
Regexp::Regexp(const std::string &pattern) : pattern_(pattern), expression_(pattern_) {}

std::string SubString::str() const
{
    if (!owner_)
        return std::string();
    return owner_->substr(start_, length_);
}

SubString &SubString::operator=(const char *text)
{
    return *this = std::string(text ? text : "");
}

SubString &SubString::operator=(const std::string &text)
{
    if (owner_) {
        owner_->replace(start_, length_, text);
        length_ = text.size();
    }
    return *this;
}

void String::upcase()
{
    for (char &c : text_)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

SubString String::view(std::size_t start, std::size_t length) const
{
    return SubString(const_cast<std::string *>(&text_), start, length);
}

SubString String::at(std::size_t pos, std::size_t len)
{
    if (pos > text_.size() || len > text_.size() - pos)
        throw std::out_of_range("String::at: range outside the text");
    return view(pos, len);
}

const SubString String::at(std::size_t pos, std::size_t len) const
{
    return const_cast<String *>(this)->at(pos, len);
}

SubString String::before(std::size_t pos) const
{
    if (pos > text_.size())
        throw std::out_of_range("String::before: position outside the text");
    return view(0, pos);
}

SubString String::before(const char *text, int pos) const
{
    int found = index(text, pos);
    if (found < 0)
        return SubString(nullptr, 0, 0);
    return view(0, static_cast<std::size_t>(found));
}

SubString String::before(const Regexp &re, int pos) const
{
    std::size_t length = 0;
    std::size_t found = findRegexp(re, pos, &length);
    if (found == std::string::npos)
        return SubString(nullptr, 0, 0);
    return view(0, found);
}

SubString String::after(const char *text) const
{
    if (!text)
        return SubString(nullptr, 0, 0);
    std::size_t found = text_.find(text);
    if (found == std::string::npos)
        return SubString(nullptr, 0, 0);
    std::size_t start = found + std::strlen(text);
    return view(start, text_.size() - start);
}

SubString String::after(int pos) const
{
    if (pos < -1 || static_cast<std::size_t>(pos + 1) >= text_.size())
        return view(text_.size(), 0);
    std::size_t start = static_cast<std::size_t>(pos + 1);
    return view(start, text_.size() - start);
}

int String::contains(char c) const
{
    return text_.find(c) != std::string::npos ? 1 : 0;
}

int String::contains(const char *text) const
{
    return text && text_.find(text) != std::string::npos ? 1 : 0;
}

int String::contains(const Regexp &re) const
{
    for (auto it = std::sregex_iterator(text_.begin(), text_.end(), re.expression()); it != std::sregex_iterator();
         ++it)
        if (it->length() > 0)
            return 1;
    return 0;
}

int String::contains(const char *text, int pos) const
{
    if (!text)
        return 0;
    std::size_t length = std::strlen(text);
    if (pos < 0)
        return length <= text_.size() && text_.compare(text_.size() - length, length, text) == 0 ? 1 : 0;
    std::size_t start = static_cast<std::size_t>(pos);
    if (start > text_.size())
        return 0;
    return text_.compare(start, length, text) == 0 && text_.size() - start >= length ? 1 : 0;
}

int String::index(const char *text, int pos) const
{
    if (!text)
        return -1;
    std::size_t found;
    if (pos < 0) {
        found = text_.rfind(text);
    } else {
        if (static_cast<std::size_t>(pos) > text_.size())
            return -1;
        found = text_.find(text, static_cast<std::size_t>(pos));
    }
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

int String::index(char c, int pos) const
{
    char text[2] = {c, '\0'};
    if (c == '\0')
        return -1;
    return index(text, pos);
}

int String::index(const Regexp &re, int pos) const
{
    std::size_t length = 0;
    std::size_t found = findRegexp(re, pos, &length);
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

std::size_t String::findRegexp(const Regexp &re, int pos, std::size_t *matchLength) const
{
    std::smatch match;
    if (pos >= 0) {
        std::size_t start = static_cast<std::size_t>(pos);
        if (start > text_.size())
            return std::string::npos;
        auto flags = start > 0 ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
        if (!std::regex_search(text_.begin() + static_cast<std::ptrdiff_t>(start), text_.end(), match,
                               re.expression(), flags))
            return std::string::npos;
        *matchLength = static_cast<std::size_t>(match.length(0));
        return start + static_cast<std::size_t>(match.position(0));
    }
    // The last occurrence: the match that starts furthest right.
    for (std::size_t start = text_.size() + 1; start-- > 0;) {
        auto flags = std::regex_constants::match_continuous;
        if (start > 0)
            flags |= std::regex_constants::match_prev_avail;
        if (std::regex_search(text_.begin() + static_cast<std::ptrdiff_t>(start), text_.end(), match,
                              re.expression(), flags)) {
            *matchLength = static_cast<std::size_t>(match.length(0));
            return start;
        }
    }
    return std::string::npos;
}

int String::matches(const char *text, int pos) const
{
    if (!text)
        return 0;
    std::size_t length = std::strlen(text);
    std::size_t start;
    if (pos >= 0) {
        start = static_cast<std::size_t>(pos);
    } else {
        std::size_t fromEnd = static_cast<std::size_t>(-static_cast<long>(pos));
        if (fromEnd > text_.size())
            return 0;
        start = text_.size() - fromEnd;
    }
    if (start > text_.size() || text_.size() - start != length)
        return 0;
    return text_.compare(start, length, text) == 0 ? 1 : 0;
}
