"""Column letters and letter coordinates of the module functions."""

import pytest

from _brindel import column_number_to_letter, get_letter_coordinate


@pytest.mark.parametrize(
    "number, letters",
    [
        (0, ""), (1, "A"), (26, "Z"), (27, "AA"), (52, "AZ"), (53, "BA"), (702, "ZZ"),
        (703, "AAA"), (16384, "XFD"), (18278, "ZZZ"), (18279, "AAAA"), (65535, "CRXO"),
    ],
)
def test_column_letters(number, letters):
    assert column_number_to_letter(number) == letters
    assert column_number_to_letter(col=number) == letters


def test_column_letters_read_back_for_every_column():
    def number_of(letters):
        n = 0
        for ch in letters:
            n = n * 26 + ord(ch) - ord("A") + 1
        return n

    seen = set()
    for n in range(1, 65536):
        letters = column_number_to_letter(n)
        assert letters.isascii() and letters.isupper() and letters.isalpha()
        assert number_of(letters) == n
        seen.add(letters)
    assert len(seen) == 65535
    assert max(len(s) for s in seen) == 4


@pytest.mark.parametrize(
    "row, col, text",
    [
        (1, 1, "A1"), (7, 2, "B7"), (10, 28, "AB10"), (0, 1, "A0"), (5, 0, "5"), (0, 0, "0"),
        (4294967295, 1, "A4294967295"), (4294967295, 65535, "CRXO4294967295"),
        (100, 16384, "XFD100"),
    ],
)
def test_letter_coordinates(row, col, text):
    assert get_letter_coordinate(row, col) == text
    assert get_letter_coordinate(col=col, row=row) == text


def test_letter_coordinate_matches_the_cell_letter():
    from _brindel import Book

    sheet = Book().add_sheet("S")
    for row, col in [(1, 1), (0, 0), (99, 703), (4294967295, 65535)]:
        assert sheet.cell(row, col).letter == get_letter_coordinate(row, col)
