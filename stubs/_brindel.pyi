# Type information for the native module _brindel. Its classes report the
# module "brindel" and are described in python/brindel/__init__.pyi, where
# type checkers find them through the typed package; this file re-exports
# them for code that imports _brindel itself.
from brindel import (
    DEFAULT_COLUMN_WIDTH as DEFAULT_COLUMN_WIDTH,
    DEFAULT_ROW_HEIGHT as DEFAULT_ROW_HEIGHT,
    Book as Book,
    Cell as Cell,
    Comment as Comment,
    Service as Service,
    Sheet as Sheet,
    __version__ as __version__,
    column_number_to_letter as column_number_to_letter,
    get_letter_coordinate as get_letter_coordinate,
    readable as readable,
    version as version,
)

__all__ = [
    "__version__",
    "Service",
    "Book",
    "Sheet",
    "Cell",
    "Comment",
    "version",
    "column_number_to_letter",
    "get_letter_coordinate",
    "DEFAULT_ROW_HEIGHT",
    "DEFAULT_COLUMN_WIDTH",
    "readable",
]
