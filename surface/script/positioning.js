    // ---- positioning ---------------------------------------------------------------

    function blockOf(el) {
        if (isControlSelected())
            return controlEl;
        for (; el && el !== document.body; el = el.parentElement)
            if (getComputedStyle(el).display !== 'inline')
                return el;
        return null;
    }

    // The engine has no editing command for positioning, and re-inserting a
    // block through its HTML insertion merges it with its neighbours, so the
    // style is set on the element itself (this change does not undo).
    qk.toggleAbsolute = function () {
        const target = positionedOf(anchorElement()) || blockOf(anchorElement());
        if (!target || target === document.body)
            return {ok: false, snap: snapshot()};
        if (target.style.position === 'absolute') {
            for (const p of ['position', 'left', 'top', 'z-index'])
                target.style.removeProperty(p);
        } else {
            const box = target.getBoundingClientRect();
            const parent = target.offsetParent || document.body;
            const base = parent === document.body ? {left: -window.scrollX, top: -window.scrollY}
                                                  : parent.getBoundingClientRect();
            target.style.position = 'absolute';
            target.style.left = Math.round(box.left - base.left) + 'px';
            target.style.top = Math.round(box.top - base.top) + 'px';
        }
        if (target.getAttribute('style') === '')
            target.removeAttribute('style');
        flushMutations();
        return {ok: true, snap: snapshot()};
    };

    let snap = false;
    qk.setSnap = function (on) { snap = !!on; return true; };

    function startDrag(e, el) {
        const startX = e.clientX, startY = e.clientY;
        const left0 = parseFloat(el.style.left) || 0, top0 = parseFloat(el.style.top) || 0;
        const move = (ev) => {
            let x = left0 + ev.clientX - startX, y = top0 + ev.clientY - startY;
            if (snap) { x = Math.round(x / 8) * 8; y = Math.round(y / 8) * 8; }
            el.style.left = x + 'px';
            el.style.top = y + 'px';
            ev.preventDefault();
        };
        const up = () => {
            document.removeEventListener('mousemove', move, true);
            document.removeEventListener('mouseup', up, true);
            flushMutations();
            schedulePush();
        };
        document.addEventListener('mousemove', move, true);
        document.addEventListener('mouseup', up, true);
    }
