#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# A minimal org.freedesktop.secrets holding one item (service "Claude Code-credentials") whose
# secret is argv[1], enough for `secret-tool lookup` over a private session bus.
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib

SECRET = sys.argv[1].encode()
ITEM = '/org/freedesktop/secrets/collection/login/1'
SESSION = '/org/freedesktop/secrets/session/1'
ATTRS = {'service': 'Claude Code-credentials', 'account': 'someone'}

class Service(dbus.service.Object):
    @dbus.service.method('org.freedesktop.Secret.Service', in_signature='sv', out_signature='vo')
    def OpenSession(self, algorithm, value):
        if algorithm != 'plain':
            raise dbus.exceptions.DBusException('only plain', name='org.freedesktop.DBus.Error.NotSupported')
        return dbus.String('', variant_level=1), dbus.ObjectPath(SESSION)
    @dbus.service.method('org.freedesktop.Secret.Service', in_signature='a{ss}', out_signature='aoao')
    def SearchItems(self, attributes):
        match = all(ATTRS.get(k) == v for k, v in attributes.items())
        return dbus.Array([dbus.ObjectPath(ITEM)] if match else [], signature='o'), dbus.Array([], signature='o')
    @dbus.service.method('org.freedesktop.Secret.Service', in_signature='ao', out_signature='aoo')
    def Unlock(self, objects):
        return dbus.Array(objects, signature='o'), dbus.ObjectPath('/')
    @dbus.service.method('org.freedesktop.Secret.Service', in_signature='aoo', out_signature='a{o(oayays)}')
    def GetSecrets(self, items, session):
        return {dbus.ObjectPath(i): (dbus.ObjectPath(SESSION), dbus.ByteArray(b''), dbus.ByteArray(SECRET),
                                      'text/plain') for i in items}
    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return self.GetAll(interface)[name]
    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return {'Collections': dbus.Array([dbus.ObjectPath('/org/freedesktop/secrets/collection/login')], signature='o')}

class Item(dbus.service.Object):
    @dbus.service.method('org.freedesktop.Secret.Item', in_signature='o', out_signature='(oayays)')
    def GetSecret(self, session):
        return (dbus.ObjectPath(SESSION), dbus.ByteArray(b''), dbus.ByteArray(SECRET), 'text/plain')
    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return {'Locked': False, 'Attributes': dbus.Dictionary(ATTRS, signature='ss'), 'Label': 'Claude',
                'Created': dbus.UInt64(0), 'Modified': dbus.UInt64(0)}
    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName('org.freedesktop.secrets', bus)
Service(bus, '/org/freedesktop/secrets')
Item(bus, ITEM)
print('ready', flush=True)
GLib.MainLoop().run()
