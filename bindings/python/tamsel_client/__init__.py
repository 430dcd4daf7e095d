"""The dispatch-level client, kept under its old name for scripts that import it from the source
tree (the walk-through); the layer itself is tamsel._dispatch."""

from tamsel._dispatch import *  # noqa: F401,F403
from tamsel._dispatch import __all__  # noqa: F401
