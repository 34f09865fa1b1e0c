"""Report workbooks and fast sheet searches.

The native core lives in the extension module ``_brindel``; this package
re-exports its public names. ``brindel.readable`` is the submodule that
``_brindel`` registers itself.
"""

import _brindel
from _brindel import *  # noqa: F401,F403
from _brindel import __version__, readable  # noqa: F401

__all__ = list(_brindel.__all__)
