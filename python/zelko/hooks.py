"""Named hooks that rewrite a payload after the engine has built it.

An ``SEOConfig`` whose ``hooks`` attribute holds a :class:`HookRegistry`
hands every finished payload, as a plain dictionary, to the callables
registered under ``"post_process"``. The engine reads the dictionary that
comes back into a payload again, so a hook can change any field, replace the
JSON-LD or add top-level keys of its own.
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any, TypeVar, overload

from _zelko_native import SEOConfig, SEOEntity

__all__ = ["Hook", "HookRegistry"]

#: A hook receives the payload dictionary, the entity and the configuration
#: of the build. It returns a new dictionary, or ``None`` after changing the
#: one it was given in place.
Hook = Callable[[dict[str, Any], SEOEntity, SEOConfig], dict[str, Any] | None]

HookT = TypeVar("HookT", bound=Hook)


def _check_hook_name(name: object) -> str:
    if not isinstance(name, str):
        raise TypeError(f"hook name must be a str, not {type(name).__name__}")
    if not name.strip():
        raise ValueError("hook name must be a non-empty string")
    return name


class HookRegistry:
    """Callables registered per hook name, run in registration order.

    Use an instance as ``SEOConfig(..., hooks=registry)``; the engine calls
    :meth:`run` with the name ``"post_process"`` after every build::

        hooks = HookRegistry()

        @hooks.register("post_process")
        def brand(payload, entity, config):
            payload["title"] = payload["title"].upper()
            return payload
    """

    __slots__ = ("_hooks",)

    def __init__(self) -> None:
        self._hooks: dict[str, list[Hook]] = {}

    @overload
    def register(self, name: str) -> Callable[[HookT], HookT]: ...

    @overload
    def register(self, name: str, fn: HookT) -> HookT: ...

    def register(self, name: str, fn: HookT | None = None) -> HookT | Callable[[HookT], HookT]:
        """Adds ``fn`` to the hooks of ``name`` and returns it unchanged.

        Called with the name alone, returns a decorator that does the same.
        Raises ``TypeError`` for a name that is not a ``str`` or a hook that is
        not callable, and ``ValueError`` for a blank name.
        """
        hook_name = _check_hook_name(name)

        def add(hook: HookT) -> HookT:
            if not callable(hook):
                raise TypeError(f"{hook_name} hook must be callable, not {type(hook).__name__}")
            self._hooks.setdefault(hook_name, []).append(hook)
            return hook

        if fn is None:
            return add
        return add(fn)

    def hooks(self, name: str) -> list[Hook]:
        """Returns a new list of the hooks registered under ``name``, in order."""
        return list(self._hooks.get(name, ()))

    def names(self) -> list[str]:
        """Returns the hook names that have at least one hook, sorted."""
        return sorted(self._hooks)

    def run(
        self,
        name: str,
        payload: dict[str, Any],
        entity: SEOEntity,
        config: SEOConfig,
    ) -> dict[str, Any]:
        """Runs the hooks of ``name`` in registration order and returns the result.

        Each hook receives the dictionary that the previous one returned, or the
        one it changed in place when it returned ``None``. A hook that returns
        anything else raises ``TypeError``. A name without hooks returns
        ``payload`` itself.
        """
        current = payload
        # A snapshot, so that a hook registering further hooks does not change
        # the run that is under way.
        snapshot: tuple[Hook, ...] = tuple(self._hooks.get(name, ()))
        for hook in snapshot:
            result: object = hook(current, entity, config)
            if result is None:
                continue
            if not isinstance(result, dict):
                raise TypeError(f"{name} hooks must return a dict")
            current = result
        return current

    def __len__(self) -> int:
        return sum(len(hooks) for hooks in self._hooks.values())

    def __repr__(self) -> str:
        counts = ", ".join(f"{name}: {len(self._hooks[name])}" for name in self.names())
        return f"HookRegistry({{{counts}}})"
