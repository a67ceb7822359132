// VarDateFromStr: en-US date and time text to a DATE. Every locale reads as en-US here.
//
// The text splits into numbers, words and the separators "/", "-" and ":"; blanks and commas only
// separate. A time is "h:mm", "h:mm:ss" or a bare hour, each with an optional AM/PM marker. The date
// is up to three numbers, or a month name with up to two numbers; weekday names are skipped. Which
// number is the year, the month and the day is decided once all of them are known; a time without a
// date lies on day 0, a date without a year in the current year.
#include "date_serial.h"

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace platform::dates;

constexpr std::size_t max_digits = 4;

struct Token {
    enum Kind { number, word, slash, dash, colon } kind;
    int value = 0;          // a number's value
    std::size_t digits = 0; // a number's length
    std::string text{};     // a word, in lower case
};

bool is_digit(OLECHAR c) { return c >= L'0' && c <= L'9'; }
bool is_letter(OLECHAR c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool is_blank(OLECHAR c) { return c == L' ' || c == L'\t' || c == L','; }

std::optional<std::vector<Token>> tokenize(std::basic_string_view<OLECHAR> text)
{
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < text.size();) {
        const OLECHAR c = text[i];
        if (is_blank(c)) {
            ++i;
        } else if (is_digit(c)) {
            Token token{Token::number};
            for (; i < text.size() && is_digit(text[i]); ++i) {
                if (++token.digits > max_digits)
                    return std::nullopt;
                token.value = token.value * 10 + static_cast<int>(text[i] - L'0');
            }
            tokens.push_back(token);
        } else if (is_letter(c)) {
            Token token{Token::word};
            for (; i < text.size() && is_letter(text[i]); ++i)
                token.text += static_cast<char>(text[i] | 0x20);
            tokens.push_back(token);
        } else if (c == L'/' || c == L'-' || c == L':') {
            tokens.push_back(Token{c == L'/' ? Token::slash : c == L'-' ? Token::dash : Token::colon});
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

constexpr std::array<std::string_view, 12> month_names{"january", "february", "march",     "april",
                                                       "may",     "june",     "july",      "august",
                                                       "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> weekday_names{"sunday",   "monday", "tuesday", "wednesday",
                                                        "thursday", "friday", "saturday"};

// A name matches in full or by its first three letters.
template <std::size_t N>
std::optional<unsigned> find_name(const std::array<std::string_view, N>& names, std::string_view word)
{
    for (std::size_t i = 0; i < N; ++i)
        if (word == names[i] || word == names[i].substr(0, 3))
            return static_cast<unsigned>(i);
    return std::nullopt;
}

std::optional<bool> meridiem_is_pm(std::string_view word)
{
    if (word == "am" || word == "a")
        return false;
    if (word == "pm" || word == "p")
        return true;
    return std::nullopt;
}

// One element of the date: a number, or a month given by name.
struct Field {
    int value;
    std::size_t digits;
    bool month_name;
};

struct Parts {
    std::vector<Field> fields;
    std::optional<int> second_of_day;
};

class Reader {
public:
    explicit Reader(const std::vector<Token>& tokens) : tokens_(tokens) {}

    std::optional<Parts> read()
    {
        while (pos_ < tokens_.size())
            if (!read_one())
                return std::nullopt;
        if (separator_pending_)
            return std::nullopt;
        return std::move(parts_);
    }

private:
    bool read_one()
    {
        const Token& token = tokens_[pos_];
        switch (token.kind) {
        case Token::number:
            if (next_is(Token::colon) || next_meridiem())
                return read_time();
            return add_field(Field{token.value, token.digits, false});
        case Token::word:
            if (const auto month = find_name(month_names, token.text))
                return add_field(Field{static_cast<int>(*month) + 1, 0, true});
            // A weekday may stand anywhere and says nothing: it is not checked against the date.
            ++pos_;
            return find_name(weekday_names, token.text).has_value();
        case Token::slash:
        case Token::dash:
            if (!after_field_)
                return false;
            after_field_ = false;
            separator_pending_ = true;
            ++pos_;
            return true;
        case Token::colon:
            return false;
        }
        return false;
    }

    bool add_field(Field field)
    {
        parts_.fields.push_back(field);
        after_field_ = true;
        separator_pending_ = false;
        ++pos_;
        return true;
    }

    // "h", "h:mm" or "h:mm:ss", then an optional AM/PM marker.
    bool read_time()
    {
        if (parts_.second_of_day || separator_pending_)
            return false;
        std::array<int, 3> hms{};
        std::size_t count = 0;
        do {
            if (count > 0)
                ++pos_; // the colon
            if (count == hms.size() || pos_ >= tokens_.size() || tokens_[pos_].kind != Token::number ||
                tokens_[pos_].digits > 2)
                return false;
            hms[count++] = tokens_[pos_++].value;
        } while (pos_ < tokens_.size() && tokens_[pos_].kind == Token::colon);

        std::optional<bool> pm;
        if (pos_ < tokens_.size() && tokens_[pos_].kind == Token::word &&
            (pm = meridiem_is_pm(tokens_[pos_].text)))
            ++pos_;
        after_field_ = false;
        return store_time(hms[0], hms[1], hms[2], pm);
    }

    bool store_time(int hour, int minute, int second, std::optional<bool> pm)
    {
        if (hour > 23 || minute > 59 || second > 59)
            return false;
        // A marker after a 24-hour hour changes nothing: "13:00 AM" is 13:00.
        if (pm && hour <= 12)
            hour = hour % 12 + (*pm ? 12 : 0);
        parts_.second_of_day = (hour * 60 + minute) * 60 + second;
        return true;
    }

    bool next_is(Token::Kind kind) const { return pos_ + 1 < tokens_.size() && tokens_[pos_ + 1].kind == kind; }

    bool next_meridiem() const { return next_is(Token::word) && meridiem_is_pm(tokens_[pos_ + 1].text); }

    const std::vector<Token>& tokens_;
    std::size_t pos_ = 0;
    bool after_field_ = false;
    bool separator_pending_ = false;
    Parts parts_;
};

// ---- Deciding which number is which ---------------------------------------------------------------

int current_year()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

// A number that cannot be a day or a month.
bool looks_like_year(const Field& field) { return field.digits > 2 || field.value > 31; }

// Two-digit years 00-49 are 2000-2049, 50-99 are 1950-1999.
int full_year(const Field& field)
{
    if (field.digits > 2)
        return field.value;
    return field.value + (field.value < 50 ? 2000 : 1900);
}

struct Order {
    int year, month, day;
};

std::optional<long> serial_if_valid(Order order)
{
    // std::chrono::month and day hold only a byte: range-check before building them.
    if (order.year < first_year || order.year > last_year || order.month < 1 || order.month > 12 ||
        order.day < 1 || order.day > 31)
        return std::nullopt;
    const std::chrono::year_month_day day{std::chrono::year{order.year},
                                          std::chrono::month{static_cast<unsigned>(order.month)},
                                          std::chrono::day{static_cast<unsigned>(order.day)}};
    return day.ok() ? std::optional{serial_of(day)} : std::nullopt;
}

// The first reading that is a real date wins.
std::optional<long> first_valid(std::initializer_list<Order> orders)
{
    for (const Order& order : orders)
        if (const auto serial = serial_if_valid(order))
            return serial;
    return std::nullopt;
}

// "March 15, 2023", "15 March 2023", "2023 March 15", "March 15", "March 2023".
std::optional<long> date_with_month_name(int month, const std::vector<Field>& numbers)
{
    if (numbers.size() == 1)
        return looks_like_year(numbers[0]) ? first_valid({{full_year(numbers[0]), month, 1}})
                                           : first_valid({{current_year(), month, numbers[0].value}});
    if (numbers.size() != 2)
        return std::nullopt;
    const bool year_first = looks_like_year(numbers[0]) && !looks_like_year(numbers[1]);
    const Field& year = numbers[year_first ? 0 : 1];
    const Field& day = numbers[year_first ? 1 : 0];
    return first_valid({{full_year(year), month, day.value}});
}

// "3/15/2023", "15/3/2023", "2023-03-15", "2000-13-01" (year, day, month), "3/15", "3/2023".
std::optional<long> date_from_numbers(const std::vector<Field>& n)
{
    if (n.size() == 3) {
        if (looks_like_year(n[0]))
            return first_valid({{full_year(n[0]), n[1].value, n[2].value}, {full_year(n[0]), n[2].value, n[1].value}});
        const int year = full_year(n[2]);
        return first_valid({{year, n[0].value, n[1].value}, {year, n[1].value, n[0].value}});
    }
    if (n.size() != 2)
        return std::nullopt;
    if (looks_like_year(n[0]))
        return first_valid({{full_year(n[0]), n[1].value, 1}});
    if (looks_like_year(n[1]))
        return first_valid({{full_year(n[1]), n[0].value, 1}});
    const int year = current_year();
    return first_valid({{year, n[0].value, n[1].value}, {year, n[1].value, n[0].value}});
}

std::optional<long> serial_of_fields(const std::vector<Field>& fields)
{
    std::vector<Field> numbers;
    std::optional<int> month;
    for (const Field& field : fields) {
        if (!field.month_name)
            numbers.push_back(field);
        else if (month)
            return std::nullopt;
        else
            month = field.value;
    }
    return month ? date_with_month_name(*month, numbers) : date_from_numbers(numbers);
}

std::optional<DATE> parse(std::basic_string_view<OLECHAR> text, ULONG flags)
{
    const auto tokens = tokenize(text);
    if (!tokens)
        return std::nullopt;
    const auto parts = Reader(*tokens).read();
    if (!parts || (parts->fields.empty() && !parts->second_of_day))
        return std::nullopt;

    std::optional<long> serial = 0L;
    if (!parts->fields.empty())
        serial = serial_of_fields(parts->fields);
    if (!serial)
        return std::nullopt;
    const int second_of_day = parts->second_of_day.value_or(0);
    return compose(flags & VAR_TIMEVALUEONLY ? 0 : *serial, flags & VAR_DATEVALUEONLY ? 0 : second_of_day);
}

} // namespace

HRESULT VarDateFromStr(LPCOLESTR strIn, LCID, ULONG dwFlags, DATE* pdateOut)
{
    if (!strIn || !pdateOut)
        return E_INVALIDARG;
    const auto value = parse(strIn, dwFlags);
    if (!value)
        return DISP_E_TYPEMISMATCH;
    *pdateOut = *value;
    return S_OK;
}
