"""Helpers shared by the workbook test modules."""

import contextlib
import json


@contextlib.contextmanager
def unchanged(book):
    """Asserts that whatever runs inside leaves the book's document as it was."""
    before = book.to_json()
    yield
    assert book.to_json() == before


def doc(book):
    return json.loads(book.to_json())


def sheet_doc(book, index=0):
    return doc(book)["sheets"][index]


class Index:
    """An integer-like object that is not an int: only __index__."""

    def __init__(self, value, hook=None):
        self.value = value
        self.hook = hook

    def __index__(self):
        if self.hook is not None:
            self.hook()
        return self.value
