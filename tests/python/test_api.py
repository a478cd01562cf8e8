"""The documented surface: a docstring on every function, method and
property, and a type stub that names them all."""
import ast
import inspect
import os

import swnt

STUB = os.path.join(os.path.dirname(swnt.__file__), "__init__.pyi")


def public(cls):
    return [name for name in vars(cls) if not name.startswith("_")]


def test_every_function_and_member_has_a_docstring():
    assert swnt.__doc__ and swnt._swnt.__doc__
    for name in swnt.__all__:
        item = getattr(swnt, name)
        assert item.__doc__ and item.__doc__.strip(), name
    for cls in (swnt.Structure, swnt.Topology):
        for name in public(cls):
            assert inspect.getdoc(getattr(cls, name)), f"{cls.__name__}.{name}"


def test_the_stub_names_everything():
    tree = ast.parse(open(STUB).read())
    top = {node.name for node in tree.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    assert set(swnt.__all__) <= top
    classes = {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}
    for cls in (swnt.Structure, swnt.Topology):
        members = {node.name for node in classes[cls.__name__].body
                   if isinstance(node, ast.FunctionDef)}
        assert set(public(cls)) <= members, cls.__name__
